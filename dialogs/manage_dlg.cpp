#include "dialogs/manage_dlg.h"

#include "dialogs/about_box.h"
#include "dialogs/add_feed_dlg.h"
#include "dialogs/move_to_dlg.h"
#include "feeds/feed_store.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvelle {

namespace ui = platform::ui;

namespace {

QString Q(const std::string &text) { return QString::fromStdString(text); }
std::string S(const QString &text) { return text.toStdString(); }

QFrame *Separator(QWidget *parent) {
  auto *line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

} // namespace

QAction *TfrmManageDlg::NewAction(const char *name, const char *caption, int tag) {
  auto *action = new QAction(QString::fromUtf8(caption), this);
  action->setObjectName(name);
  action->setData(tag);
  return action;
}

TfrmManageDlg::TfrmManageDlg(QWidget *owner) : QDialog(owner) {
  setObjectName("frmManageDlg");
  setWindowTitle("Manage Feeds");
  setWindowIcon(ProductIcon());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(454, 378);

  // ---- actList
  actAddFeed = NewAction("actAddFeed", "Add...", 0);
  actEditFeed = NewAction("actEditFeed", "Edit...", 0);
  actMoveUp = NewAction("actMoveUp", "Move Up", 1);
  actMoveDown = NewAction("actMoveDown", "Move Down", 0);
  actRemove = NewAction("actRemove", "Remove...", 0);
  actMoveTo = NewAction("actMoveTo", "Move To...", 0);
  actAddCategory = NewAction("actAddCategory", "Add Category...", 0);
  actRemoveCategory = NewAction("actRemoveCategory", "Remove Category...", 0);
  actRenameCategory = NewAction("actRenameCategory", "Rename Category...", 0);
  actMoveToTop = NewAction("actMoveToTop", "To Top", 2);
  actMoveToBottom = NewAction("actMoveToBottom", "To Bottom", 3);
  actCheckAll = NewAction("actCheckAll", "Enable All Feeds", 1);
  actUncheckAll = NewAction("actUncheckAll", "Disable All Feeds", 0);

  auto *formLayout = new QVBoxLayout(this);
  formLayout->setContentsMargins(0, 0, 0, 0);
  formLayout->setSpacing(0);

  // ---- pnlCategory
  pnlCategory = new QFrame(this);
  pnlCategory->setObjectName("pnlCategory");
  pnlCategory->setFixedHeight(33);
  auto *categoryLayout = new QHBoxLayout(pnlCategory);
  categoryLayout->setContentsMargins(8, 6, 8, 2);
  SpeedButton1 = new QToolButton(pnlCategory);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText("Category:");
  SpeedButton1->setIcon(CategoryButtonGlyph());
  SpeedButton1->setIconSize(QSize(9, 9));
  SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  SpeedButton1->setLayoutDirection(Qt::RightToLeft); // the glyph right of the caption
  SpeedButton1->setAutoRaise(true);
  SpeedButton1->setFocusPolicy(Qt::NoFocus);
  SpeedButton1->setFixedWidth(90);
  cbxCategory = new QComboBox(pnlCategory);
  cbxCategory->setObjectName("cbxCategory");
  categoryLayout->addWidget(SpeedButton1);
  categoryLayout->addWidget(cbxCategory, 1);
  formLayout->addWidget(pnlCategory);

  // ---- pnlMain: the feeds of the shown category and the command column
  pnlMain = new QFrame(this);
  pnlMain->setObjectName("pnlMain");
  pnlMain->setFixedHeight(304);
  auto *mainLayout = new QHBoxLayout(pnlMain);
  mainLayout->setContentsMargins(8, 4, 8, 4);
  lbxRSS = new QListWidget(pnlMain);
  lbxRSS->setObjectName("lbxRSS");
  lbxRSS->setSelectionMode(QAbstractItemView::SingleSelection);
  lbxRSS->setContextMenuPolicy(Qt::CustomContextMenu);
  mainLayout->addWidget(lbxRSS, 1);
  auto *column = new QVBoxLayout;
  column->setSpacing(6);
  const auto commandButton = [&](const char *name, QAction *action) {
    auto *button = new QPushButton(action->text(), pnlMain);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setFixedWidth(96);
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    column->addWidget(button);
    return button;
  };
  btnAdd = commandButton("btnAdd", actAddFeed);
  btnEdit = commandButton("btnEdit", actEditFeed);
  column->addWidget(Separator(pnlMain));
  btnMoveUp = commandButton("btnMoveUp", actMoveUp);
  btnMoveDown = commandButton("btnMoveDown", actMoveDown);
  btnMoveTo = commandButton("btnMoveTo", actMoveTo);
  column->addWidget(Separator(pnlMain));
  btnRemove = commandButton("btnRemove", actRemove);
  column->addStretch(1);
  mainLayout->addLayout(column);
  formLayout->addWidget(pnlMain);

  // ---- pnlButtons
  pnlButtons = new QFrame(this);
  pnlButtons->setObjectName("pnlButtons");
  pnlButtons->setFixedHeight(41);
  auto *buttonsLayout = new QHBoxLayout(pnlButtons);
  buttonsLayout->setContentsMargins(8, 4, 8, 8);
  buttonsLayout->addStretch(1);
  Button1 = new QPushButton("OK", pnlButtons);
  Button1->setObjectName("Button1");
  Button2 = new QPushButton("Cancel", pnlButtons);
  Button2->setObjectName("Button2");
  // Only Escape is bound (to Cancel): Enter presses no button of its own.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);
  buttonsLayout->addWidget(Button1);
  buttonsLayout->addWidget(Button2);
  formLayout->addWidget(pnlButtons);

  // ---- menus
  popCategory = new QMenu(this);
  popCategory->setObjectName("popCategory");
  popCategory->addAction(actAddCategory);
  popCategory->addAction(actRenameCategory);
  popCategory->addSeparator();
  popCategory->addAction(actRemoveCategory);

  popRSS = new QMenu(this);
  popRSS->setObjectName("popRSS");
  popRSS->addAction(actAddFeed);
  QMenu *categoryMenu = popRSS->addMenu("Category");
  categoryMenu->addAction(actAddCategory);
  categoryMenu->addAction(actRemoveCategory);
  categoryMenu->addSeparator();
  categoryMenu->addAction(actRenameCategory);
  popRSS->addSeparator();
  QMenu *moveMenu = popRSS->addMenu("Move");
  moveMenu->addAction(actMoveToTop);
  moveMenu->addAction(actMoveToBottom);
  moveMenu->addSeparator();
  moveMenu->addAction(actMoveUp);
  moveMenu->addAction(actMoveDown);
  popRSS->addAction(actMoveTo);
  popRSS->addSeparator();
  popRSS->addAction(actCheckAll);
  popRSS->addAction(actUncheckAll);
  popRSS->addSeparator();
  popRSS->addAction(actRemove);
  popRSS->addAction(actRemoveCategory);
  popRSS->addSeparator();
  popRSS->addAction(actEditFeed);

  // ---- handlers
  connect(actAddFeed, &QAction::triggered, this, &TfrmManageDlg::actAddFeedExecute);
  connect(actEditFeed, &QAction::triggered, this, &TfrmManageDlg::actEditFeedExecute);
  for (QAction *move : {actMoveUp, actMoveDown, actMoveToTop, actMoveToBottom}) {
    connect(move, &QAction::triggered, this, [this, move] { actMoveUpExecute(move); });
  }
  connect(actRemove, &QAction::triggered, this, &TfrmManageDlg::actRemoveExecute);
  connect(actMoveTo, &QAction::triggered, this, &TfrmManageDlg::actMoveToExecute);
  for (QAction *check : {actCheckAll, actUncheckAll}) {
    connect(check, &QAction::triggered, this, [this, check] { actCheckAllExecute(check); });
  }
  connect(actAddCategory, &QAction::triggered, this, &TfrmManageDlg::actAddCategoryExecute);
  connect(actRemoveCategory, &QAction::triggered, this, &TfrmManageDlg::actRemoveCategoryExecute);
  connect(actRenameCategory, &QAction::triggered, this, &TfrmManageDlg::actRenameCategoryExecute);
  connect(Button1, &QPushButton::clicked, this, &TfrmManageDlg::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfrmManageDlg::Button2Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &TfrmManageDlg::SpeedButton1Click);
  // Only a choice made by the user reloads; the dialog's own changes of the
  // selection reload explicitly.
  connect(cbxCategory, &QComboBox::activated, this, &TfrmManageDlg::cbxCategoryChange);
  connect(lbxRSS, &QListWidget::itemChanged, this, &TfrmManageDlg::lbxRSSClickCheck);
  connect(lbxRSS, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { popRSS->popup(lbxRSS->viewport()->mapToGlobal(pos)); });

  FormCreate();
}

TfrmManageDlg::~TfrmManageDlg() { FormDestroy(); }

void TfrmManageDlg::FormCreate() {
  Guard("TfrmManageDlg.FormCreate", [&] {
    FFeedURLs.clear();
    TRSSFeedOptions &store = categorylist::Store();
    store.Load();
    pnlCategory->setVisible(true);
    categorylist::Fill(*cbxCategory);
    categorylist::Select(*cbxCategory, 0);
    store.StoreCurrentXML();
    Load();
  });
}

void TfrmManageDlg::FormDestroy() {
  Guard("TfrmManageDlg.FormDestroy", [&] { FFeedURLs.clear(); });
}

std::string TfrmManageDlg::GetCurrentCategory() {
  std::string result;
  Guard("TfrmManageDlg.GetCurrentCategory", [&] { result = categorylist::Current(*cbxCategory); });
  return result;
}

int TfrmManageDlg::SelectedRow() const {
  const QList<QListWidgetItem *> selected = lbxRSS->selectedItems();
  return selected.isEmpty() ? -1 : lbxRSS->row(selected.first());
}

void TfrmManageDlg::SelectRow(int row) {
  if (row < 0 || row >= lbxRSS->count()) {
    lbxRSS->setCurrentItem(nullptr);
    lbxRSS->clearSelection();
    return;
  }
  lbxRSS->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void TfrmManageDlg::Load() {
  Guard("TfrmManageDlg.Load", [&] {
    const std::string category = GetCurrentCategory();
    TRSSFeedOptions &store = categorylist::Store();
    std::vector<std::string> urls;
    std::vector<std::string> titles;
    if (!store.GetFeedsURLSForCategory(category, urls, titles)) {
      return;
    }
    titles.resize(urls.size());
    const QSignalBlocker blocker(lbxRSS);
    lbxRSS->clear();
    FFeedURLs = std::move(urls);
    for (std::size_t i = 0; i < FFeedURLs.size(); ++i) {
      auto *item = new QListWidgetItem(Q(titles[i]));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(store.GetFeedStateEnabled(FFeedURLs[i], category) ? Qt::Checked : Qt::Unchecked);
      lbxRSS->addItem(item);
    }
    SelectRow(-1);
  });
}

void TfrmManageDlg::RefreshCategories() {
  const std::string shown = GetCurrentCategory();
  categorylist::Fill(*cbxCategory);
  const int index = shown.empty() ? 0 : categorylist::FindEntry(*cbxCategory, shown);
  categorylist::Select(*cbxCategory, index < 0 ? 0 : index);
}

void TfrmManageDlg::Save() {
  Guard("TfrmManageDlg.Save", [&] {
    // The list is read again under its lock and the dialog's result saved
    // over it, keeping what another program added while the dialog was open.
    TRSSFeedOptions &store = categorylist::Store();
    const std::string opened = store.FStoredXML;
    store.ClearStoredCurrentXML();
    store.SaveChangeSince(opened);
  });
}

void TfrmManageDlg::Button1Click() {
  Guard("TfrmManageDlg.Button1Click", [&] { Save(); });
  accept();
}

void TfrmManageDlg::Button2Click() {
  Guard("TfrmManageDlg.Button2Click", [&] { categorylist::Store().ReStoreCurrentXML(); });
  QDialog::reject();
}

void TfrmManageDlg::reject() { Button2Click(); }

void TfrmManageDlg::lbxRSSClickCheck(QListWidgetItem *item) {
  Guard("TfrmManageDlg.lbxRSSClickCheck", [&] {
    const int row = lbxRSS->row(item);
    categorylist::Store().SetFeedStateEnabled(FFeedURLs.at(static_cast<std::size_t>(row)), GetCurrentCategory(),
                                              item->checkState() == Qt::Checked);
  });
}

void TfrmManageDlg::cbxCategoryChange() {
  Guard("TfrmManageDlg.cbxCategoryChange", [&] { Load(); });
}

void TfrmManageDlg::SpeedButton1Click() {
  Guard("TfrmManageDlg.SpeedButton1Click",
        [&] { popCategory->popup(pnlMain->mapToGlobal(SpeedButton1->pos() + QPoint(10, 4))); });
}

void TfrmManageDlg::AddNew() {
  Guard("TfrmManageDlg.AddNew", [&] {
    TfrmAddFeedDlg dialog(this);
    dialog.SetCurrentCategory(GetCurrentCategory());
    dialog.edURL->setText(QGuiApplication::clipboard()->text());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
      categorylist::Store().AddNewRSSFeed(S(dialog.edURL->text()), S(dialog.edTitle->text()),
                                          dialog.GetCurrentCategory());
    }
    // The rows show what the store holds (the feed may have been refused or
    // gone into another category), and the add dialog's category menu may
    // have changed the categories.
    RefreshCategories();
    Load();
  });
}

void TfrmManageDlg::actAddFeedExecute() {
  Guard("TfrmManageDlg.actAddFeedExecute", [&] { AddNew(); });
}

void TfrmManageDlg::Edit() {
  Guard("TfrmManageDlg.Edit", [&] {
    const int row = SelectedRow();
    if (row < 0) {
      return;
    }
    const std::string oldUrl = FFeedURLs.at(static_cast<std::size_t>(row));
    TfrmAddFeedDlg dialog(this);
    dialog.setWindowTitle("Edit Feed");
    dialog.Button1->setText("OK");
    dialog.pnlCategory->setVisible(false);
    dialog.edURL->setText(Q(oldUrl));
    dialog.edTitle->setText(lbxRSS->item(row)->text());
    dialog.SetDownloadXMLBeforeDialogShow(false);
    // The change is made on OK, so a refused address keeps the dialog open.
    dialog.AcceptCheck = [&] {
      return categorylist::Store().ChangeFeedPropertiesFeed(dialog.GetCurrentCategory(), oldUrl,
                                                            S(dialog.edURL->text()), S(dialog.edTitle->text()));
    };
    if (dialog.exec() != QDialog::Accepted) {
      return;
    }
    const std::string newUrl = S(dialog.edURL->text());
    const std::string newTitle = S(dialog.edTitle->text());
    FFeedURLs.at(static_cast<std::size_t>(row)) = newUrl;
    const QSignalBlocker blocker(lbxRSS);
    lbxRSS->item(row)->setText(Q(newTitle));
  });
}

void TfrmManageDlg::actEditFeedExecute() {
  Guard("TfrmManageDlg.actEditFeedExecute", [&] { Edit(); });
}

void TfrmManageDlg::actMoveUpExecute(QAction *sender) {
  Guard("TfrmManageDlg.actMoveUpExecute", [&] {
    const int row = SelectedRow();
    if (row < 0) {
      return;
    }
    const int direction = sender->data().toInt();
    categorylist::Store().MoveFeed(FFeedURLs.at(static_cast<std::size_t>(row)), GetCurrentCategory(), direction);
    Load();
    const int count = lbxRSS->count();
    int target = row;
    switch (direction) {
    case mdDown: target = row < count - 1 ? row + 1 : row; break;
    case mdUp: target = row > 0 ? row - 1 : row; break;
    case mdTop: target = 0; break;
    case mdBottom: target = count - 1; break;
    default: break;
    }
    SelectRow(target);
  });
}

void TfrmManageDlg::actRemoveExecute() {
  Guard("TfrmManageDlg.actRemoveExecute", [&] {
    const int row = SelectedRow();
    if (row < 0) {
      return;
    }
    ui::MessageRequest request;
    request.text = "Are you sure you want to remove feed\r\n\"" + S(lbxRSS->item(row)->text()) + "\" ?";
    request.caption = "Confirmation";
    request.type = ui::MsgDlgType::Confirmation;
    request.buttons = ui::mbYes | ui::mbNo | ui::mbCancel;
    request.defaultButton = ui::ModalResult::No;
    if (ui::Ui().ShowMessage(request) != ui::ModalResult::Yes) {
      return;
    }
    categorylist::Store().DeleteFeed(FFeedURLs.at(static_cast<std::size_t>(row)), GetCurrentCategory());
    FFeedURLs.erase(FFeedURLs.begin() + row);
    {
      const QSignalBlocker blocker(lbxRSS);
      delete lbxRSS->takeItem(row);
    }
    SelectRow(-1);
  });
}

void TfrmManageDlg::actMoveToExecute() {
  Guard("TfrmManageDlg.actMoveToExecute", [&] {
    const int row = SelectedRow();
    if (row < 0) {
      return;
    }
    TfrmMoveToDlg dialog(this);
    dialog.SetFromCategory(GetCurrentCategory());
    if (dialog.exec() != QDialog::Accepted) {
      return;
    }
    categorylist::Store().MoveFeedToCategory(FFeedURLs.at(static_cast<std::size_t>(row)), dialog.FFromCategory,
                                             dialog.FToCategory);
    Load();
  });
}

void TfrmManageDlg::actCheckAllExecute(QAction *sender) {
  Guard("TfrmManageDlg.actCheckAllExecute", [&] {
    const bool enabled = sender->data().toInt() == 1;
    const std::string category = GetCurrentCategory();
    TRSSFeedOptions &store = categorylist::Store();
    for (int row = 0; row < lbxRSS->count(); ++row) {
      {
        const QSignalBlocker blocker(lbxRSS);
        lbxRSS->item(row)->setCheckState(enabled ? Qt::Checked : Qt::Unchecked);
      }
      store.SetFeedStateEnabled(FFeedURLs.at(static_cast<std::size_t>(row)), category, enabled);
    }
  });
}

void TfrmManageDlg::actAddCategoryExecute() {
  Guard("TfrmManageDlg.actAddCategoryExecute", [&] {
    if (categorylist::AddCategoryCommand(*cbxCategory)) {
      Load();
    }
  });
}

void TfrmManageDlg::actRemoveCategoryExecute() {
  Guard("TfrmManageDlg.actRemoveCategoryExecute", [&] {
    if (categorylist::RemoveCategoryCommand(*cbxCategory)) {
      Load();
    }
  });
}

void TfrmManageDlg::actRenameCategoryExecute() {
  Guard("TfrmManageDlg.actRenameCategoryExecute", [&] {
    if (categorylist::RenameCategoryCommand(*cbxCategory)) {
      Load();
    }
  });
}

} // namespace quorvelle
