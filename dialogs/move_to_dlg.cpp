#include "dialogs/move_to_dlg.h"

#include "dialogs/add_feed_dlg.h"
#include "feeds/feed_store.h"
#include "platform/errors.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace quorvelle {

namespace {

constexpr const char *kToCategoryValue = "ToCategory";

platform::RegistryKey OpenSettingsKey() {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  if (!key) {
    throw ERegistryException("Failed to create key " + std::string(kSettingsKey));
  }
  return *std::move(key);
}

void SelectByName(QComboBox &box, const std::string &name) {
  const int index = name.empty() ? 0 : categorylist::FindEntry(box, name);
  categorylist::Select(box, index < 0 ? 0 : index);
}

} // namespace

TfrmMoveToDlg::TfrmMoveToDlg(QWidget *owner) : QDialog(owner) {
  setObjectName("frmMoveToDlg");
  setWindowTitle("Move Feed...");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(394, 148);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(2);
  layout->addWidget(new QLabel("From Category:", this));
  cbxCategoryFrom = new QComboBox(this);
  cbxCategoryFrom->setObjectName("cbxCategoryFrom");
  layout->addWidget(cbxCategoryFrom);
  layout->addSpacing(6);
  layout->addWidget(new QLabel("To Category:", this));
  cbxCategoryTo = new QComboBox(this);
  cbxCategoryTo->setObjectName("cbxCategoryTo");
  layout->addWidget(cbxCategoryTo);
  layout->addStretch(1);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  layout->addLayout(buttons);

  setTabOrder(Button1, Button2);
  setTabOrder(Button2, cbxCategoryFrom);
  setTabOrder(cbxCategoryFrom, cbxCategoryTo);
  Button1->setFocus();

  connect(Button1, &QPushButton::clicked, this, &TfrmMoveToDlg::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  FormCreate();
}

TfrmMoveToDlg::~TfrmMoveToDlg() = default;

void TfrmMoveToDlg::FormCreate() {
  Guard("TfrmMoveToDlg.FormCreate", [&] {
    categorylist::Fill(*cbxCategoryFrom);
    categorylist::Fill(*cbxCategoryTo);
    categorylist::Select(*cbxCategoryFrom, 0);
    categorylist::Select(*cbxCategoryTo, 0);
    SetFromCategory("");
    const platform::RegistryKey key = OpenSettingsKey();
    SetToCategory(key.ValueExists(kToCategoryValue) ? key.ReadString(kToCategoryValue) : std::string());
  });
}

void TfrmMoveToDlg::SetFromCategory(std::string_view name) {
  Guard("TfrmMoveToDlg.SetFromCategory", [&] { FFromCategory = name; });
}

void TfrmMoveToDlg::SetToCategory(std::string_view name) {
  Guard("TfrmMoveToDlg.SetToCategory", [&] { FToCategory = name; });
}

void TfrmMoveToDlg::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    FormShow();
  }
}

void TfrmMoveToDlg::FormShow() {
  Guard("TfrmMoveToDlg.FormShow", [&] {
    SelectByName(*cbxCategoryFrom, FFromCategory);
    SelectByName(*cbxCategoryTo, FToCategory);
  });
}

void TfrmMoveToDlg::Button1Click() {
  Guard("TfrmMoveToDlg.Button1Click", [&] {
    FFromCategory = categorylist::Current(*cbxCategoryFrom);
    FToCategory = categorylist::Current(*cbxCategoryTo);
    OpenSettingsKey().WriteString(kToCategoryValue, FToCategory);
  });
  accept();
}

} // namespace quorvelle
