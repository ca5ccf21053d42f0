#pragma once
// TfrmManageDlg: the modal dialog in which the user edits the whole feed
// list, one category at a time. Every command changes the in-memory feed
// store at once; the dialog reloads the store and takes a snapshot of its
// document when it opens, OK drops the snapshot and saves the store under
// the list's lock (keeping what another program added meanwhile), and
// Cancel (the button, Escape or the window's close box) puts the snapshot
// back without writing anything.

#include <QDialog>

#include <string>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QToolButton;

namespace quorvelle {

class TfrmManageDlg : public QDialog {
  Q_OBJECT

public:
  explicit TfrmManageDlg(QWidget *owner = nullptr);
  ~TfrmManageDlg() override;

  [[nodiscard]] std::string GetCurrentCategory();

  QFrame *pnlCategory = nullptr;
  QToolButton *SpeedButton1 = nullptr;
  QComboBox *cbxCategory = nullptr;
  QFrame *pnlMain = nullptr;
  QListWidget *lbxRSS = nullptr;
  QPushButton *btnAdd = nullptr;
  QPushButton *btnEdit = nullptr;
  QPushButton *btnMoveUp = nullptr;
  QPushButton *btnMoveDown = nullptr;
  QPushButton *btnMoveTo = nullptr;
  QPushButton *btnRemove = nullptr;
  QFrame *pnlButtons = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;

  // actList; the tag of each action is its data().
  QAction *actAddFeed = nullptr;
  QAction *actEditFeed = nullptr;
  QAction *actMoveUp = nullptr;
  QAction *actMoveDown = nullptr;
  QAction *actRemove = nullptr;
  QAction *actMoveTo = nullptr;
  QAction *actAddCategory = nullptr;
  QAction *actRemoveCategory = nullptr;
  QAction *actRenameCategory = nullptr;
  QAction *actMoveToTop = nullptr;
  QAction *actMoveToBottom = nullptr;
  QAction *actCheckAll = nullptr;
  QAction *actUncheckAll = nullptr;

  QMenu *popCategory = nullptr;
  QMenu *popRSS = nullptr;

  // Row i of lbxRSS shows the title of the feed whose URL is FFeedURLs[i].
  std::vector<std::string> FFeedURLs;

public slots:
  void Button1Click();
  void Button2Click();
  void SpeedButton1Click();
  void cbxCategoryChange();
  void lbxRSSClickCheck(QListWidgetItem *item);
  void actAddFeedExecute();
  void actEditFeedExecute();
  void actMoveUpExecute(QAction *sender);
  void actRemoveExecute();
  void actMoveToExecute();
  void actCheckAllExecute(QAction *sender);
  void actAddCategoryExecute();
  void actRemoveCategoryExecute();
  void actRenameCategoryExecute();

  // Cancel in every form (the button, Escape, the window's close box).
  void reject() override;

private:
  void FormCreate();
  void FormDestroy();
  // Fills the feed list for the shown category.
  void Load();
  // The OK step: the snapshot is dropped and the store saved over the list
  // as it is now (TRSSFeedOptions::SaveChangeSince).
  void Save();
  void AddNew();
  void Edit();

  QAction *NewAction(const char *name, const char *caption, int tag);
  [[nodiscard]] int SelectedRow() const;
  void SelectRow(int row);
  // Rebuilds the category list from the store, keeping the shown category
  // when it still exists (General otherwise).
  void RefreshCategories();
};

} // namespace quorvelle
