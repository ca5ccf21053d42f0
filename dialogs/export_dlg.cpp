#include "dialogs/export_dlg.h"

#include "dialogs/exchange_dialog_support.h"
#include "support/debug_log.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvelle {

TfrmExportDlg::TfrmExportDlg(TRSSFeedOptions &store, QWidget *parent) : QDialog(parent), store_(store) {
  setObjectName(QStringLiteral("frmExportDlg"));
  exchange_dialog::SetUpWindow(*this, QStringLiteral("Export Feeds as OPML/XML"), 390, 179);

  Label1 = new QLabel(QStringLiteral("Select categories to be exported:"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  auto *line = new QFrame(this);
  line->setObjectName(QStringLiteral("Bevel1"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);

  rgAllCategories = new QRadioButton(QStringLiteral("All categories"), this);
  rgAllCategories->setObjectName(QStringLiteral("rgAllCategories"));
  rgSelectedCategory = new QRadioButton(QStringLiteral("Selected category only"), this);
  rgSelectedCategory->setObjectName(QStringLiteral("rgSelectedCategory"));
  cbxCategory = new QComboBox(this);
  cbxCategory->setObjectName(QStringLiteral("cbxCategory"));
  cbxCategory->setEditable(false);
  cbxCategory->setEnabled(false);

  Button1 = new QPushButton(QStringLiteral("Export"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(6);
  layout->addWidget(Label1);
  layout->addWidget(line);
  layout->addWidget(rgAllCategories);
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

  connect(rgAllCategories, &QRadioButton::clicked, this, [this] { rgAllCategoriesClick(); });
  connect(rgSelectedCategory, &QRadioButton::clicked, this, [this] { rgAllCategoriesClick(); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  FormCreate();
}

void TfrmExportDlg::FormCreate() {
  Guard("TfrmExportDlg.FormCreate", [&] {
    FAllCategories = true;
    exchange_dialog::FillCategories(*cbxCategory, store_);
    rgAllCategories->setChecked(true);
  });
}

std::string TfrmExportDlg::GetCurrentCategory() {
  std::string category;
  Guard("TfrmExportDlg.GetCurrentCategory", [&] { category = exchange_dialog::CurrentCategory(*cbxCategory); });
  return category;
}

void TfrmExportDlg::UPdate() {
  Guard("TfrmExportDlg.UPdate", [&] {
    cbxCategory->setEnabled(rgSelectedCategory->isChecked());
    FAllCategories = !rgSelectedCategory->isChecked();
  });
}

void TfrmExportDlg::rgAllCategoriesClick() {
  Guard("TfrmExportDlg.rgAllCategoriesClick", [&] { UPdate(); });
}

void TfrmExportDlg::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  exchange_dialog::CentreOnScreen(*this);
}

} // namespace quorvelle
