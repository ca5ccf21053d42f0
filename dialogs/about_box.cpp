#include "dialogs/about_box.h"

#include "dialogs/product_info.h"
#include "support/debug_log.h"
#include "support/report_utils.h"

#include <QEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

namespace quorvelle {

namespace {

constexpr const char *kCreditText =
    "The toolbar, its menus and the dialogs are built with the Qt 6 toolkit, used under the terms of the GNU "
    "Lesser General Public License version 3.";
constexpr const char *kNoticeText =
    "Warning: this program is protected by copyright law. Reproducing or redistributing it, or any part of it, "
    "without the written permission of Tolvane is not allowed.";

QPixmap PaintProductIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  QPainterPath tile;
  tile.addRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);
  painter.fillPath(tile, QColor(0xE8, 0x7A, 0x1E));
  painter.setPen(QPen(Qt::white, s * 0.11, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  const QPointF corner(s * 0.24, s * 0.76);
  for (const qreal radius : {s * 0.30, s * 0.52}) {
    painter.drawArc(QRectF(corner.x() - radius, corner.y() - radius, 2 * radius, 2 * radius), 0, 90 * 16);
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(corner, s * 0.08, s * 0.08);
  painter.end();
  return pixmap;
}

QLabel *LinkLabel(QWidget *parent, const char *name) {
  auto *label = new QLabel(parent);
  label->setObjectName(name);
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
  label->setAlignment(Qt::AlignHCenter);
  return label;
}

} // namespace

QIcon ProductIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    icon.addPixmap(PaintProductIcon(size));
  }
  return icon;
}

TfmAbout::TfmAbout(QWidget *owner) : QDialog(owner) {
  setObjectName("fmAbout");
  setWindowTitle("About");
  // Single fixed border, no title-bar buttons: OK and Escape close the box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(400, 373);
  setAutoFillBackground(true);
  QPalette background = palette();
  background.setColor(QPalette::Window, Qt::white);
  setPalette(background);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  auto *top = new QHBoxLayout;
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(PaintProductIcon(32));
  Image1->setFixedSize(32, 32);
  top->addWidget(Image1, 0, Qt::AlignTop);

  auto *column = new QVBoxLayout;
  column->setSpacing(6);
  lblProductName = new QLabel(this);
  lblProductName->setObjectName("lblProductName");
  QFont bold = lblProductName->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  lblProductName->setFont(bold);
  lblProductName->setAlignment(Qt::AlignHCenter);
  lblProductVersion = new QLabel(this);
  lblProductVersion->setObjectName("lblProductVersion");
  lblProductVersion->setAlignment(Qt::AlignHCenter);
  lblProductURL = LinkLabel(this, "lblProductURL");
  lblProductEmail = LinkLabel(this, "lblProductEmail");
  column->addWidget(lblProductName);
  column->addWidget(lblProductVersion);
  column->addSpacing(8);
  column->addWidget(lblProductURL);
  column->addWidget(lblProductEmail);
  top->addLayout(column, 1);
  top->addSpacing(32); // keeps the column centred in the box
  layout->addLayout(top);
  layout->addSpacing(24);

  lblNotice = new QLabel(this);
  lblNotice->setObjectName("lblNotice");
  lblNotice->setWordWrap(true);
  lblNotice->setText(QString::fromUtf8(kCreditText) + "\n\n" + QString::fromUtf8(kNoticeText));
  lblNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(lblNotice, 1);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  buttons->addWidget(Button1);
  layout->addLayout(buttons);
  Button1->setFocus();

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  lblProductEmail->installEventFilter(this);
  lblProductURL->installEventFilter(this);

  FormCreate();
}

TfmAbout::~TfmAbout() = default;

void TfmAbout::FormCreate() {
  Guard("TfmAbout.FormCreate", [&] {
    lblProductName->setText(QString::fromUtf8(kProductName));
    lblProductVersion->setText(QString::fromUtf8(kProductVersion));
    lblProductURL->setText(QString::fromUtf8(kProductWebPage));
    lblProductEmail->setText(QString::fromUtf8(kSupportEmail));
  });
}

void TfmAbout::FormKeyDown(int key) {
  if (key == Qt::Key_Escape) {
    reject();
  }
}

void TfmAbout::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    FormKeyDown(event->key());
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfmAbout::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
    if (watched == lblProductEmail) {
      lblProductEmailClick();
      return true;
    }
    if (watched == lblProductURL) {
      lblProductURLClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmAbout::lblProductEmailClick() { FireURL(std::string("mailto:") + kSupportEmail); }

void TfmAbout::lblProductURLClick() { FireURL(kProductWebPage); }

void ShowAboutBox() {
  TfmAbout box(nullptr);
  box.exec();
}

} // namespace quorvelle
