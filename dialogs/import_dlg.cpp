#include "dialogs/import_dlg.h"

#include "dialogs/exchange_dialog_support.h"
#include "platform/codepage/text_case.h"
#include "support/debug_log.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvelle {

TfrmImportDlg::TfrmImportDlg(TRSSFeedOptions &store, QWidget *parent) : QDialog(parent), store_(store) {
  setObjectName(QStringLiteral("frmImportDlg"));
  exchange_dialog::SetUpWindow(*this, QStringLiteral("Import Feeds from OPML/XML"), 383, 179);

  rgCreateNewCategory = new QRadioButton(QStringLiteral("Into new category:"), this);
  rgCreateNewCategory->setObjectName(QStringLiteral("rgCreateNewCategory"));
  edNewCategory = new QLineEdit(this);
  edNewCategory->setObjectName(QStringLiteral("edNewCategory"));
  rgSelectedCategory = new QRadioButton(QStringLiteral("Into selected category:"), this);
  rgSelectedCategory->setObjectName(QStringLiteral("rgSelectedCategory"));
  cbxCategory = new QComboBox(this);
  cbxCategory->setObjectName(QStringLiteral("cbxCategory"));
  cbxCategory->setEditable(false);
  cbxCategory->setEnabled(false);

  Button1 = new QPushButton(QStringLiteral("Import"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(6);
  layout->addWidget(rgCreateNewCategory);
  auto *editRow = new QHBoxLayout;
  editRow->addSpacing(18);
  editRow->addWidget(edNewCategory, 1);
  layout->addLayout(editRow);
  layout->addWidget(rgSelectedCategory);
  auto *comboRow = new QHBoxLayout;
  comboRow->addSpacing(18);
  comboRow->addWidget(cbxCategory, 1);
  layout->addLayout(comboRow);
  layout->addStretch(1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  layout->addLayout(buttons);

  // The name box comes first when tabbing, and has the focus at start.
  setTabOrder(edNewCategory, rgCreateNewCategory);
  setTabOrder(rgCreateNewCategory, rgSelectedCategory);
  setTabOrder(rgSelectedCategory, cbxCategory);
  setTabOrder(cbxCategory, Button1);
  setTabOrder(Button1, Button2);
  edNewCategory->setFocus();

  connect(rgCreateNewCategory, &QRadioButton::clicked, this, [this] { rgCreateNewCategoryClick(); });
  connect(rgSelectedCategory, &QRadioButton::clicked, this, [this] { rgCreateNewCategoryClick(); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  FormCreate();
}

void TfrmImportDlg::FormCreate() {
  Guard("TfrmImportDlg.FormCreate", [&] {
    FCreateNewCategory = true;
    exchange_dialog::FillCategories(*cbxCategory, store_);
    rgCreateNewCategory->setChecked(true);
  });
}

std::string TfrmImportDlg::GetCurrentCategory() {
  std::string category;
  Guard("TfrmImportDlg.GetCurrentCategory", [&] { category = exchange_dialog::CurrentCategory(*cbxCategory); });
  return category;
}

void TfrmImportDlg::UPdate() {
  Guard("TfrmImportDlg.UPdate", [&] {
    cbxCategory->setEnabled(rgSelectedCategory->isChecked());
    FCreateNewCategory = !rgSelectedCategory->isChecked();
    edNewCategory->setEnabled(FCreateNewCategory);
  });
}

void TfrmImportDlg::rgCreateNewCategoryClick() {
  Guard("TfrmImportDlg.rgCreateNewCategoryClick", [&] { UPdate(); });
}

void TfrmImportDlg::SetNewCategoryName(const std::string &name) {
  Guard("TfrmImportDlg.SetNewCategoryName", [&] { edNewCategory->setText(QString::fromStdString(name)); });
}

std::string TfrmImportDlg::GetNewCategoryName() {
  std::string name;
  Guard("TfrmImportDlg.GetNewCategoryName", [&] { name = platform::Trim(edNewCategory->text().toStdString()); });
  return name;
}

void TfrmImportDlg::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  exchange_dialog::CentreOnScreen(*this);
}

} // namespace quorvelle
