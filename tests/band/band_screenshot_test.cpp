// Pictures of the band's toolbar and of its open "Tools" menu, rendered
// offscreen into the build folder (docs/band-toolbar.png and
// docs/band-tools-menu.png are copies of them).

#include "tests/band/band_test_support.h"

#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QToolButton>

namespace quorvelle::test {
namespace {

// Pixels of the picture that differ from its top-left corner.
int MarkedPixels(const QImage &image) {
  const QRgb background = image.pixel(0, 0);
  int marked = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != background) ++marked;
    }
  }
  return marked;
}

TEST_F(BandTest, ToolbarAndToolsMenuRender) {
  ASSERT_TRUE(SetSite());
  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  QWidget *form = Form();
  ASSERT_NE(form, nullptr);
  // The pointer away from the buttons, so none is drawn hovered.
  QCursor::setPos(2000, 2000);
  QApplication::processEvents();
  for (QWidget *button : form->findChildren<QToolButton *>()) {
    button->setAttribute(Qt::WA_UnderMouse, false);
  }

  const QPixmap toolbar = form->grab();
  ASSERT_FALSE(toolbar.isNull());
  EXPECT_EQ(toolbar.size(), form->size());
  EXPECT_GT(MarkedPixels(toolbar.toImage()), 200);
  EXPECT_TRUE(toolbar.save(QString::fromStdString(std::string(QUORVELLE_BINARY_DIR) + "/band-toolbar.png")));

  auto *tools = Find<QToolButton>("miMain");
  ASSERT_NE(tools, nullptr);
  QMenu *menu = tools->menu();
  ASSERT_NE(menu, nullptr);
  menu->popup(tools->mapToGlobal(QPoint(0, tools->height())));
  QApplication::processEvents();
  const QPixmap menuPicture = menu->grab();
  menu->hide();
  ASSERT_FALSE(menuPicture.isNull());
  // Eleven rows: every item is drawn.
  EXPECT_GT(menuPicture.height(), 8 * tools->height() / 2);
  EXPECT_GT(MarkedPixels(menuPicture.toImage()), 500);
  EXPECT_TRUE(menuPicture.save(QString::fromStdString(std::string(QUORVELLE_BINARY_DIR) + "/band-tools-menu.png")));
}

} // namespace
} // namespace quorvelle::test
