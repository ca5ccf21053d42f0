#include "dialogs/add_feed_dlg.h"

#include "feeds/feed_store.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvelle {

namespace ui = platform::ui;

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string S(const QString &text) { return text.toStdString(); }

// The lines of text, CR LF (or a lone LF) between them; empty lines are
// skipped, so no entry but General can stand for the empty name.
std::vector<std::string> SplitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty()) {
      lines.push_back(std::move(line));
    }
    start = end + 1;
  }
  return lines;
}

// A fetched title goes into a one-line field: line breaks and other control
// characters become blanks and the ends are trimmed.
std::string OneLineTitle(const std::string &title) {
  std::string text = title;
  for (char &c : text) {
    if (static_cast<unsigned char>(c) < 0x20) {
      c = ' ';
    }
  }
  return platform::Trim(text);
}

// The entry of a name just given to a category: the name as typed, else the
// name as the store cleaned it, else General.
int EntryOfNewName(const QComboBox &box, const std::string &name) {
  int index = categorylist::FindEntry(box, name);
  if (index < 0) {
    index = categorylist::FindEntry(box, MakeValidFileName(name));
  }
  return index < 0 ? 0 : index;
}

void ShowAlreadyExists(const std::string &name) {
  ui::MessageRequest request;
  request.text = "Category \"" + name + "\" is already exists";
  request.caption = "Information";
  request.type = ui::MsgDlgType::Information;
  request.buttons = ui::mbOK;
  request.defaultButton = ui::ModalResult::Ok;
  ui::Ui().ShowMessage(request);
}

// The offered feeds' list shows each address after its title.
class OfferedFeedDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

protected:
  void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString title = index.data(Qt::UserRole).toString();
    if (!title.isEmpty()) option->text = title + QStringLiteral(" \u2014 ") + option->text;
  }
};

} // namespace

namespace categorylist {

TRSSFeedOptions &Store() {
  if (!FeedOptions) {
    throw EAbort("The feed store is not loaded");
  }
  return *FeedOptions;
}

void Fill(QComboBox &box) {
  const QSignalBlocker blocker(&box);
  box.clear();
  box.addItem(Q(kGeneralLabel));
  box.setCurrentIndex(0);
  for (const std::string &name : SplitLines(Store().GetListOfCategories())) {
    box.addItem(Q(name));
  }
}

int FindEntry(const QComboBox &box, std::string_view name) {
  const std::string key = platform::LowerCase(name);
  for (int i = 0; i < box.count(); ++i) {
    if (platform::LowerCase(S(box.itemText(i))) == key) {
      return i;
    }
  }
  return -1;
}

std::string Current(const QComboBox &box) {
  const int index = box.currentIndex();
  return index <= 0 ? std::string() : S(box.itemText(index));
}

void Select(QComboBox &box, int index) {
  const QSignalBlocker blocker(&box);
  box.setCurrentIndex(index);
}

bool AddCategoryCommand(QComboBox &box) {
  std::string name = "Untitled";
  if (!ui::Ui().InputQuery("New category", "Enter name of new category", name)) {
    return false;
  }
  name = platform::Trim(name);
  const int existing = FindEntry(box, name);
  if (existing >= 0) {
    ShowAlreadyExists(name);
    Select(box, existing);
    return true;
  }
  Store().AddCategory(name);
  Fill(box);
  Select(box, EntryOfNewName(box, name));
  return true;
}

bool RenameCategoryCommand(QComboBox &box) {
  const std::string oldName = Current(box);
  if (oldName.empty()) {
    return false;
  }
  std::string name = oldName;
  if (!ui::Ui().InputQuery("Rename category", "Enter name of new category", name)) {
    return false;
  }
  name = platform::Trim(name);
  if (name == oldName) {
    return false;
  }
  // A name that cleans to nothing would leave a category that no list can
  // show or select; its feeds would be out of reach.
  const std::string cleaned = MakeValidFileName(name);
  if (cleaned.empty()) {
    return false;
  }
  // Two categories of one name cannot be told apart: every lookup finds the
  // first, and the feeds of the other one could no longer be reached.
  const int current = box.currentIndex();
  for (const std::string &candidate : {name, cleaned}) {
    const int other = FindEntry(box, candidate);
    if (other >= 0 && other != current) {
      ShowAlreadyExists(name);
      return false;
    }
  }
  Store().RenameCategory(oldName, name);
  Fill(box);
  Select(box, EntryOfNewName(box, name));
  return true;
}

bool RemoveCategoryCommand(QComboBox &box) {
  const std::string name = Current(box);
  if (name.empty()) {
    ui::ShowInformation("General category can not be removed.");
    return false;
  }
  ui::MessageRequest request;
  request.text = "Are you sure you want to remove category \"" + name + "\" and all its content?";
  request.caption = "Confirmation";
  request.type = ui::MsgDlgType::Confirmation;
  request.buttons = ui::mbYes | ui::mbNo | ui::mbCancel;
  request.defaultButton = ui::ModalResult::No;
  if (ui::Ui().ShowMessage(request) != ui::ModalResult::Yes) {
    return false;
  }
  Store().DeleteCategory(name);
  Fill(box);
  Select(box, 0);
  return true;
}

} // namespace categorylist

QIcon CategoryButtonGlyph() {
  QPixmap pixmap(9, 9);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QApplication::palette().color(QPalette::WindowText));
  const QPointF triangle[3] = {QPointF(0.5, 2.5), QPointF(8.5, 2.5), QPointF(4.5, 7.0)};
  painter.drawPolygon(triangle, 3);
  painter.end();
  return QIcon(pixmap);
}

TfrmAddFeedDlg::TfrmAddFeedDlg(QWidget *owner) : QDialog(owner) {
  setObjectName("frmAddFeedDlg");
  setWindowTitle("Add New Feed");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);

  auto *formLayout = new QVBoxLayout(this);
  formLayout->setContentsMargins(0, 0, 0, 0);
  formLayout->setSpacing(0);
  // Fixed dialog border: the form takes the size its contents ask for, and
  // shrinks when the category row is hidden (the edit form).
  formLayout->setSizeConstraint(QLayout::SetFixedSize);

  // ---- pnlCategory: "Category:" button with its menu, the category list
  pnlCategory = new QFrame(this);
  pnlCategory->setObjectName("pnlCategory");
  pnlCategory->setFixedHeight(45);
  auto *categoryLayout = new QVBoxLayout(pnlCategory);
  categoryLayout->setContentsMargins(8, 8, 8, 0);
  categoryLayout->setSpacing(6);
  auto *categoryRow = new QHBoxLayout;
  btnCategory = new QToolButton(pnlCategory);
  btnCategory->setObjectName("btnCategory");
  btnCategory->setText("Category:");
  btnCategory->setIcon(CategoryButtonGlyph());
  btnCategory->setIconSize(QSize(9, 9));
  btnCategory->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  btnCategory->setLayoutDirection(Qt::RightToLeft); // the glyph right of the caption
  btnCategory->setAutoRaise(true);
  btnCategory->setFocusPolicy(Qt::NoFocus);
  btnCategory->setFixedWidth(90);
  cbxCategory = new QComboBox(pnlCategory);
  cbxCategory->setObjectName("cbxCategory");
  cbxCategory->setEditable(false);
  categoryRow->addWidget(btnCategory);
  categoryRow->addWidget(cbxCategory, 1);
  categoryLayout->addLayout(categoryRow);
  auto *separator = new QFrame(pnlCategory);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  categoryLayout->addWidget(separator);
  formLayout->addWidget(pnlCategory);

  popCategory = new QMenu(this);
  popCategory->setObjectName("popCategory");
  miAdd = popCategory->addAction("Add Category...");
  miAdd->setObjectName("miAdd");
  miRename = popCategory->addAction("Rename Category...");
  miRename->setObjectName("miRename");
  popCategory->addSeparator();
  miRemove = popCategory->addAction("Remove Category...");
  miRemove->setObjectName("miRemove");

  // ---- pnlLink: title and link
  pnlLink = new QFrame(this);
  pnlLink->setObjectName("pnlLink");
  pnlLink->setFixedHeight(95);
  auto *linkLayout = new QVBoxLayout(pnlLink);
  linkLayout->setContentsMargins(8, 6, 8, 4);
  linkLayout->setSpacing(2);
  auto *titleLabel = new QLabel("Title:", pnlLink);
  edTitle = new QLineEdit(pnlLink);
  edTitle->setObjectName("edTitle");
  titleLabel->setBuddy(edTitle);
  auto *urlLabel = new QLabel("Link to RSS/XML/RDF/ATOM feed:", pnlLink);
  edURL = new QLineEdit(pnlLink);
  edURL->setObjectName("edURL");
  urlLabel->setBuddy(edURL);
  linkLayout->addWidget(titleLabel);
  linkLayout->addWidget(edTitle);
  linkLayout->addSpacing(4);
  linkLayout->addWidget(urlLabel);
  linkLayout->addWidget(edURL);
  formLayout->addWidget(pnlLink);

  // ---- pnlBtns: "Check Link" (or the busy notice in its place), Add, Cancel
  pnlBtns = new QFrame(this);
  pnlBtns->setObjectName("pnlBtns");
  pnlBtns->setFixedHeight(38);
  auto *buttonsLayout = new QHBoxLayout(pnlBtns);
  buttonsLayout->setContentsMargins(8, 4, 8, 8);
  btnCheckLink = new QPushButton("Check Link", pnlBtns);
  btnCheckLink->setObjectName("btnCheckLink");
  lblInfo = new QLabel("Getting info about feed....", pnlBtns);
  lblInfo->setObjectName("lblInfo");
  QFont bold = lblInfo->font();
  bold.setBold(true);
  lblInfo->setFont(bold);
  lblInfo->hide();
  Button1 = new QPushButton("Add", pnlBtns);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", pnlBtns);
  Button2->setObjectName("Button2");
  buttonsLayout->addWidget(btnCheckLink);
  buttonsLayout->addWidget(lblInfo);
  buttonsLayout->addStretch(1);
  buttonsLayout->addWidget(Button1);
  buttonsLayout->addWidget(Button2);
  formLayout->addWidget(pnlBtns);

  // The layout sizes the form from its panels: 448 wide.
  pnlLink->setMinimumWidth(448);
  setTabOrder(edTitle, edURL);
  setTabOrder(edURL, cbxCategory);
  setTabOrder(cbxCategory, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, btnCheckLink);
  edTitle->setFocus();

  connect(edURL, &QLineEdit::textChanged, this, &TfrmAddFeedDlg::edURLChange);
  connect(btnCheckLink, &QPushButton::clicked, this, &TfrmAddFeedDlg::btnCheckLinkClick);
  connect(Button1, &QPushButton::clicked, this, &TfrmAddFeedDlg::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnCategory, &QToolButton::clicked, this, &TfrmAddFeedDlg::btnCategoryClick);
  connect(miAdd, &QAction::triggered, this, &TfrmAddFeedDlg::miAddClick);
  connect(miRename, &QAction::triggered, this, &TfrmAddFeedDlg::miRenameClick);
  connect(miRemove, &QAction::triggered, this, &TfrmAddFeedDlg::miRemoveClick);

  FormCreate();
}

TfrmAddFeedDlg::~TfrmAddFeedDlg() = default;

void TfrmAddFeedDlg::FormCreate() {
  Guard("TfrmAddFeedDlg.FormCreate", [&] {
    FURLChanged = false;
    FDownloadXMLBeforeDialogShow = false;
    pnlCategory->setVisible(true);
    categorylist::Fill(*cbxCategory);
    categorylist::Select(*cbxCategory, 0);
  });
}

void TfrmAddFeedDlg::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    FormShow();
  }
}

void TfrmAddFeedDlg::FormShow() {
  Guard("TfrmAddFeedDlg.FormShow", [&] {
    FURLChanged = false;
    if (FDownloadXMLBeforeDialogShow && IsRSSLink(platform::Trim(S(edURL->text())))) {
      // Once the window is on the screen, so the busy notice can be seen
      // during the fetch.
      QTimer::singleShot(0, this, &TfrmAddFeedDlg::RunCheckOnShow);
    }
  });
}

void TfrmAddFeedDlg::RunCheckOnShow() {
  Guard("TfrmAddFeedDlg.FormShow", [&] {
    if (isVisible()) {
      CheckLink(false);
    }
  });
}

void TfrmAddFeedDlg::edURLChange() { FURLChanged = true; }

void TfrmAddFeedDlg::SetCurrentCategory(std::string_view name) {
  Guard("TfrmAddFeedDlg.SetCurrentCategory", [&] {
    if (name.empty()) {
      categorylist::Select(*cbxCategory, 0);
      return;
    }
    const int index = categorylist::FindEntry(*cbxCategory, name);
    if (index >= 0) {
      categorylist::Select(*cbxCategory, index);
    }
  });
}

std::string TfrmAddFeedDlg::GetCurrentCategory() {
  std::string result;
  Guard("TfrmAddFeedDlg.GetCurrentCategory", [&] { result = categorylist::Current(*cbxCategory); });
  return result;
}

void TfrmAddFeedDlg::SetDownloadXMLBeforeDialogShow(bool value) {
  Guard("TfrmAddFeedDlg.SetDownloadXMLBeforeDialogShow", [&] { FDownloadXMLBeforeDialogShow = value; });
}

void TfrmAddFeedDlg::OfferFeeds(const std::vector<OfferedFeed> &feeds) {
  Guard("TfrmAddFeedDlg.OfferFeeds", [&] {
    if (feeds.empty()) return;
    if (cbxURL == nullptr) {
      cbxURL = new QComboBox(pnlLink);
      cbxURL->setObjectName("cbxURL");
      cbxURL->setEditable(true);
      cbxURL->setInsertPolicy(QComboBox::NoInsert);
      cbxURL->setItemDelegate(new OfferedFeedDelegate(cbxURL));
      // The list takes edURL's place and edURL becomes its text field.
      delete pnlLink->layout()->replaceWidget(edURL, cbxURL);
      cbxURL->setLineEdit(edURL);
      setTabOrder(edTitle, cbxURL);
      setTabOrder(cbxURL, cbxCategory);
      connect(cbxURL, &QComboBox::activated, this, &TfrmAddFeedDlg::cbxURLChange);
    }
    const QSignalBlocker blocker(cbxURL);
    cbxURL->clear();
    for (const OfferedFeed &feed : feeds) {
      cbxURL->addItem(Q(feed.url), Q(feed.title));
      cbxURL->setItemData(cbxURL->count() - 1, Q(feed.title.empty() ? feed.url : feed.title + "\n" + feed.url),
                          Qt::ToolTipRole);
    }
    cbxURL->setCurrentIndex(0);
    edURL->setText(Q(feeds.front().url));
    edTitle->setText(Q(feeds.front().title));
  });
}

void TfrmAddFeedDlg::cbxURLChange(int index) {
  Guard("TfrmAddFeedDlg.cbxURLChange", [&] {
    if (cbxURL == nullptr || index < 0 || index >= cbxURL->count()) return;
    edURL->setText(cbxURL->itemText(index));
    const QString title = cbxURL->itemData(index, Qt::UserRole).toString();
    edTitle->setText(title);
    // An offered feed with its title needs no check; one without is read
    // when the user adds it, as a typed address is.
    FURLChanged = title.isEmpty();
  });
}

void TfrmAddFeedDlg::SetBusy(bool busy) {
  for (QWidget *control :
       {static_cast<QWidget *>(btnCategory), static_cast<QWidget *>(edURL), static_cast<QWidget *>(edTitle),
        static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button2)}) {
    control->setEnabled(!busy);
  }
  if (cbxURL != nullptr) cbxURL->setEnabled(!busy);
  const QPalette &standard = QApplication::palette();
  const QColor base =
      busy ? standard.color(QPalette::Active, QPalette::Button) : standard.color(QPalette::Active, QPalette::Base);
  for (QLineEdit *edit : {edURL, edTitle}) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, base);
    edit->setPalette(palette);
  }
  lblInfo->setVisible(busy);
  btnCheckLink->setVisible(!busy);
  if (busy) {
    repaint();
  }
}

bool TfrmAddFeedDlg::CheckLink(bool showError) {
  bool result = false;
  Guard("TfrmAddFeedDlg.CheckLink", [&] {
    // The controls come back whatever happens below.
    struct BusyLook {
      TfrmAddFeedDlg *dialog;
      ~BusyLook() { dialog->SetBusy(false); }
    } busyLook{this};
    SetBusy(true);
    std::string title;
    categorylist::Store().GetFeedTitleFromURL(S(edURL->text()), title);
    title = OneLineTitle(title);
    result = !title.empty();
    if (result) {
      edTitle->setText(Q(title));
    } else if (showError) {
      ui::MessageRequest request;
      request.text = "Unable to recieve title of channel title from\r\n\"" + S(edURL->text()) + "\"";
      request.caption = "Information";
      request.type = ui::MsgDlgType::Information;
      request.buttons = ui::mbOK;
      request.defaultButton = ui::ModalResult::Ok;
      ui::Ui().ShowMessage(request);
    }
  });
  return result;
}

void TfrmAddFeedDlg::btnCheckLinkClick() {
  Guard("TfrmAddFeedDlg.btnCheckLinkClick", [&] { CheckLink(false); });
}

void TfrmAddFeedDlg::Button1Click() {
  Guard("TfrmAddFeedDlg.Button1Click", [&] {
    const QString url = Q(platform::Trim(S(edURL->text())));
    if (url != edURL->text()) {
      edURL->setText(url);
    }
    const QString title = Q(platform::Trim(S(edTitle->text())));
    if (title != edTitle->text()) {
      edTitle->setText(title);
    }
    if (FURLChanged && !CheckLink(true)) {
      return;
    }
    if (AcceptCheck && !AcceptCheck()) {
      return;
    }
    accept();
  });
}

void TfrmAddFeedDlg::btnCategoryClick() {
  Guard("TfrmAddFeedDlg.btnCategoryClick",
        [&] { popCategory->popup(pnlCategory->mapToGlobal(btnCategory->pos() + QPoint(10, 4))); });
}

void TfrmAddFeedDlg::miAddClick() {
  Guard(" TfrmAddFeedDlg.miAddClick", [&] { categorylist::AddCategoryCommand(*cbxCategory); });
}

void TfrmAddFeedDlg::miRenameClick() {
  Guard("TfrmAddFeedDlg.miRenameClick", [&] { categorylist::RenameCategoryCommand(*cbxCategory); });
}

void TfrmAddFeedDlg::miRemoveClick() {
  Guard("TfrmAddFeedDlg.miRemoveClick", [&] { categorylist::RemoveCategoryCommand(*cbxCategory); });
}

} // namespace quorvelle
