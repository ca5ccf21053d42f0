#pragma once
// TfrmAddFeedDlg: the modal dialog in which the user enters one feed (title,
// link and category). It can read the feed's title from the link before it
// closes and carries a small category menu that works on the feed store at
// once. It never adds the feed itself: the caller reads edURL, edTitle and
// GetCurrentCategory after exec() returned QDialog::Accepted.
//
// The same class serves as the "Edit Feed" form of the manage dialog: the
// caller sets the caption, the caption of Button1 and hides pnlCategory.
//
// The helpers in namespace categorylist keep the category lists of all
// dialogs alike: "<< GENERAL >>" first (the General category, whose store
// name is empty), then the store's categories in the store's order.

#include <QDialog>
#include <QIcon>
#include <functional>

#include <string>
#include <string_view>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;

namespace quorvelle {

class TRSSFeedOptions;

// The entry that stands for the General category in every category list.
inline constexpr const char *kGeneralLabel = "<< GENERAL >>";

namespace categorylist {

// The process-wide feed store; throws EAbort when the module has none.
TRSSFeedOptions &Store();

// Rebuilds the list from the store (signals blocked) and selects nothing.
void Fill(QComboBox &box);
// Index of the entry equal to name without regard to letter case; -1 if none.
int FindEntry(const QComboBox &box, std::string_view name);
// The store name of the selected entry: "" for entry 0 (General) or no
// selection, else the entry's text.
std::string Current(const QComboBox &box);
// Selects an entry (signals blocked, so no change handler runs).
void Select(QComboBox &box, int index);

// The category commands shared by the add feed dialog's menu and the manage
// dialog's category actions. Each returns whether it set the selection of
// the list (the manage dialog then reloads its feed list). They throw on a
// failure; the caller's guard logs it.
bool AddCategoryCommand(QComboBox &box);
bool RenameCategoryCommand(QComboBox &box);
bool RemoveCategoryCommand(QComboBox &box);

} // namespace categorylist

// A small downward triangle shown to the right of the "Category:" buttons.
QIcon CategoryButtonGlyph();

class TfrmAddFeedDlg : public QDialog {
  Q_OBJECT

public:
  explicit TfrmAddFeedDlg(QWidget *owner = nullptr);
  ~TfrmAddFeedDlg() override;

  void SetCurrentCategory(std::string_view name);
  [[nodiscard]] std::string GetCurrentCategory();
  void SetDownloadXMLBeforeDialogShow(bool value);

  // A feed to offer in the address field, with its title ("" for none).
  struct OfferedFeed {
    std::string url;
    std::string title;
  };
  // Turns the address field into a list of the feeds, each shown with its
  // title, and chooses the first. Choosing one puts its address into edURL
  // and its title into edTitle; edURL stays the field to type into and read.
  void OfferFeeds(const std::vector<OfferedFeed> &feeds);
  // Reads the feed's title from the link; true when a non-empty title came
  // back (it then replaces the text of edTitle).
  bool CheckLink(bool showError);

  // Panels, in the order they are stacked.
  QFrame *pnlCategory = nullptr;
  QToolButton *btnCategory = nullptr;
  QComboBox *cbxCategory = nullptr;
  QFrame *pnlLink = nullptr;
  QLineEdit *edTitle = nullptr;
  QLineEdit *edURL = nullptr;
  // The list of offered feeds around edURL; nullptr until OfferFeeds.
  QComboBox *cbxURL = nullptr;
  QFrame *pnlBtns = nullptr;
  QPushButton *btnCheckLink = nullptr;
  QLabel *lblInfo = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;
  QMenu *popCategory = nullptr;
  QAction *miAdd = nullptr;
  QAction *miRename = nullptr;
  QAction *miRemove = nullptr;

  // Asked on OK, after the fields were trimmed: false keeps the dialog open
  // (the check shows its own message). Unset accepts.
  std::function<bool()> AcceptCheck;

  // Read-only views of the private flags, for callers that need to know the
  // dialog's state (and for tests).
  [[nodiscard]] bool URLChanged() const { return FURLChanged; }
  [[nodiscard]] bool DownloadXMLBeforeDialogShow() const { return FDownloadXMLBeforeDialogShow; }

public slots:
  void btnCheckLinkClick();
  void Button1Click();
  void btnCategoryClick();
  void miAddClick();
  void miRenameClick();
  void miRemoveClick();

protected:
  void showEvent(QShowEvent *event) override;

private slots:
  void edURLChange();
  void RunCheckOnShow();
  void cbxURLChange(int index);

private:
  void FormCreate();
  void FormShow();
  void SetBusy(bool busy);

  bool FURLChanged = false;
  bool FDownloadXMLBeforeDialogShow = false;
};

} // namespace quorvelle
