// What the band answers the browser: band info, showing and closing, the
// site, focus, persistence, and the keys and clicks inside its form.

#include "tests/band/band_test_support.h"

#include <QMouseEvent>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>

namespace quorvelle::test {
namespace {

TEST_F(BandTest, BeforeItsSiteTheBandHasNoFormAndNoInfo) {
  com::DESKBANDINFO info;
  info.dwMask = 0x3F;
  EXPECT_EQ(band_->GetBandInfo(1, com::DBIF_VIEWMODE_NORMAL, &info), com::E_UNEXPECTED);
  EXPECT_EQ(Form(), nullptr);
  // Showing and closing without a form do nothing and succeed.
  EXPECT_EQ(band_->ShowDW(1), com::S_OK);
  EXPECT_EQ(band_->CloseDW(0), com::S_OK);
  com::ComPtr<com::IObjectWithSite> withSite;
  ASSERT_EQ(band_.As(withSite), com::S_OK);
  void *site = reinterpret_cast<void *>(1);
  EXPECT_EQ(withSite->GetSite(com::IUnknown::iid, &site), com::E_FAIL);
  EXPECT_EQ(site, nullptr);
}

TEST_F(BandTest, ASiteWithoutAUsableWindowGetsNoForm) {
  const auto childrenBefore = window_->findChildren<QWidget *>().size();
  // No window offered, a zero window, and an address that is no widget.
  site_->offerWindow = false;
  EXPECT_FALSE(SetSite());
  site_->offerWindow = true;
  site_->window = nullptr;
  EXPECT_FALSE(SetSite());
  int notAWidget = 0;
  site_->window = &notAWidget;
  EXPECT_FALSE(SetSite());
  EXPECT_EQ(Form(), nullptr);
  EXPECT_EQ(window_->findChildren<QWidget *>().size(), childrenBefore);
  com::DESKBANDINFO info;
  info.dwMask = 0x3F;
  EXPECT_EQ(band_->GetBandInfo(1, 0, &info), com::E_UNEXPECTED);
}

TEST_F(BandTest, BandInfoReportsTheToolbarsFixedSize) {
  ASSERT_TRUE(SetSite());
  QWidget *form = Form();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->parentWidget(), window_.get());
  const auto *toolbar = Find<QToolBar>("toolbarMain");
  ASSERT_NE(toolbar, nullptr);
  const QSize size = toolbar->size();
  EXPECT_GE(size.width(), 186);
  EXPECT_GE(size.height(), 27);

  com::DESKBANDINFO info;
  info.dwMask = 0x3F;
  info.SetTitle(u"left over");
  ASSERT_EQ(band_->GetBandInfo(7, com::DBIF_VIEWMODE_NORMAL, &info), com::S_OK);
  EXPECT_EQ(info.ptMinSize, (com::POINTL{size.width(), size.height()}));
  EXPECT_EQ(info.ptMaxSize, (com::POINTL{size.width(), size.height()}));
  EXPECT_EQ(info.ptIntegral, (com::POINTL{1, 1}));
  EXPECT_EQ(info.ptActual, (com::POINTL{form->width(), form->height()}));
  EXPECT_EQ(info.ptActual, info.ptMinSize);
  EXPECT_EQ(info.Title(), u"");
  EXPECT_EQ(info.dwModeFlags, com::DBIMF_VARIABLEHEIGHT);

  // Only the members asked for are filled.
  com::DESKBANDINFO partial;
  partial.dwMask = com::DBIM_INTEGRAL | com::DBIM_BKCOLOR;
  partial.dwModeFlags = 0x1234;
  ASSERT_EQ(band_->GetBandInfo(7, 0, &partial), com::S_OK);
  EXPECT_EQ(partial.ptIntegral, (com::POINTL{1, 1}));
  EXPECT_EQ(partial.ptMinSize, (com::POINTL{0, 0}));
  EXPECT_EQ(partial.dwModeFlags, 0x1234U);
  const QColor face = form->palette().color(QPalette::Window);
  EXPECT_EQ(partial.crBkgnd, static_cast<com::COLORREF>(face.red() | (face.green() << 8) | (face.blue() << 16)));
}

TEST_F(BandTest, ShowingHidingAndActivatingTrackTheFocus) {
  ASSERT_TRUE(SetSite());
  QWidget *form = Form();
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->isVisible());
  com::ComPtr<com::IInputObject> input;
  ASSERT_EQ(band_.As(input), com::S_OK);
  EXPECT_EQ(input->HasFocusIO(), com::S_FALSE);
  com::ComPtr<com::IUnknown> identity;
  ASSERT_EQ(band_.As(identity), com::S_OK);

  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(input->HasFocusIO(), com::S_OK);
  ASSERT_EQ(site_->focusChanges.size(), 1U);
  // The site hears of the band object itself, the one it created.
  EXPECT_EQ(site_->focusChanges[0].object, identity.Get());
  EXPECT_NE(site_->focusChanges[0].setFocus, 0);

  ASSERT_EQ(band_->ShowDW(0), com::S_OK);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(input->HasFocusIO(), com::S_FALSE);
  EXPECT_EQ(site_->focusChanges.size(), 1U);

  EXPECT_EQ(input->UIActivateIO(1, nullptr), com::S_OK);
  EXPECT_EQ(input->HasFocusIO(), com::S_OK);
  EXPECT_EQ(input->UIActivateIO(0, nullptr), com::S_OK);
  EXPECT_EQ(input->HasFocusIO(), com::S_FALSE);
  com::MSG message;
  EXPECT_EQ(input->TranslateAcceleratorIO(&message), com::S_FALSE);
}

TEST_F(BandTest, AClickInsideTheFormGivesTheBandTheFocus) {
  ASSERT_TRUE(SetSite());
  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  com::ComPtr<com::IInputObject> input;
  ASSERT_EQ(band_.As(input), com::S_OK);
  input->UIActivateIO(0, nullptr);
  site_->focusChanges.clear();

  auto *tools = Find<QToolButton>("miMain");
  ASSERT_NE(tools, nullptr);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), tools->mapToGlobal(QPointF(1, 1)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  // The menu would open on the press; the filter sees the press first.
  auto *toolbar = Find<QToolBar>("toolbarMain");
  QApplication::sendEvent(toolbar, &press);
  EXPECT_EQ(input->HasFocusIO(), com::S_OK);
  // Once, though the press bubbles up through the dock to the form.
  ASSERT_EQ(site_->focusChanges.size(), 1U);
  EXPECT_NE(site_->focusChanges[0].setFocus, 0);

  // The next click is a click of its own.
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), tools->mapToGlobal(QPointF(1, 1)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(toolbar, &release);
  QMouseEvent again(QEvent::MouseButtonPress, QPointF(2, 2), tools->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(toolbar, &again);
  EXPECT_EQ(site_->focusChanges.size(), 2U);
}

TEST_F(BandTest, BackspaceInTheBandNeverReachesTheBrowser) {
  ASSERT_TRUE(SetSite());
  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  auto *tools = Find<QToolButton>("miMain");
  ASSERT_NE(tools, nullptr);

  // Another key that the band does not use goes on to the browser's window,
  // so the test would see a Backspace that got through.
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(tools, &letter);
  ASSERT_EQ(window_->keysReceived, std::vector<int>{Qt::Key_A});

  QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(tools, &backspace);
  QKeyEvent onForm(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(Form(), &onForm);
  EXPECT_EQ(window_->keysReceived, std::vector<int>{Qt::Key_A});

  // The browser's shortcuts are asked first: the band claims the key, so a
  // "Back" shortcut on Backspace does not fire.
  QKeyEvent shortcut(QEvent::ShortcutOverride, Qt::Key_Backspace, Qt::NoModifier);
  shortcut.ignore();
  QApplication::sendEvent(tools, &shortcut);
  EXPECT_TRUE(shortcut.isAccepted());
  QKeyEvent otherShortcut(QEvent::ShortcutOverride, Qt::Key_Left, Qt::AltModifier);
  otherShortcut.ignore();
  QApplication::sendEvent(tools, &otherShortcut);
  EXPECT_FALSE(otherShortcut.isAccepted());

  // A Backspace in the browser itself is the browser's.
  QKeyEvent inBrowser(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &inBrowser);
  EXPECT_EQ(window_->keysReceived, (std::vector<int>{Qt::Key_A, Qt::Key_Backspace}));
}

TEST_F(BandTest, CloseFreesTheFormAndTheSiteCanBeLeft) {
  ASSERT_TRUE(SetSite());
  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  const QPointer<QWidget> form = Form();
  ASSERT_TRUE(form);
  ASSERT_EQ(band_->CloseDW(0), com::S_OK);
  EXPECT_FALSE(form);
  EXPECT_EQ(Form(), nullptr);
  EXPECT_TRUE(window_->findChildren<QWidget *>().isEmpty());
  com::DESKBANDINFO info;
  info.dwMask = 0x3F;
  EXPECT_EQ(band_->GetBandInfo(1, 0, &info), com::E_UNEXPECTED);

  com::ComPtr<com::IObjectWithSite> withSite;
  ASSERT_EQ(band_.As(withSite), com::S_OK);
  void *site = nullptr;
  ASSERT_EQ(withSite->GetSite(com::IInputObjectSite::iid, &site), com::S_OK);
  static_cast<com::IUnknown *>(site)->Release();
  EXPECT_EQ(withSite->SetSite(nullptr), com::S_OK);
  EXPECT_EQ(withSite->GetSite(com::IInputObjectSite::iid, &site), com::E_FAIL);

  // A new site gets a new form.
  ASSERT_TRUE(SetSite());
  EXPECT_NE(Form(), nullptr);
}

TEST_F(BandTest, ABrowserWindowThatGoesFirstTakesTheFormWithIt) {
  ASSERT_TRUE(SetSite());
  window_.reset();
  EXPECT_EQ(Form(), nullptr);
  com::DESKBANDINFO info;
  info.dwMask = 0x3F;
  EXPECT_EQ(band_->GetBandInfo(1, 0, &info), com::E_UNEXPECTED);
  EXPECT_EQ(band_->ShowDW(1), com::S_OK);
  EXPECT_EQ(band_->CloseDW(0), com::S_OK);
}

TEST_F(BandTest, TheRestOfTheBandsInterfacesAnswerAsFixed) {
  ASSERT_TRUE(SetSite());
  EXPECT_EQ(band_->ResizeBorderDW(nullptr, nullptr, 0), com::E_NOTIMPL);
  EXPECT_EQ(band_->ContextSensitiveHelp(1), com::E_NOTIMPL);

  com::ComPtr<com::IPersistStream> persist;
  ASSERT_EQ(band_.As(persist), com::S_OK);
  EXPECT_EQ(persist->IsDirty(), com::S_FALSE);
  EXPECT_EQ(persist->Load(nullptr), com::S_OK);
  EXPECT_EQ(persist->Save(nullptr, 1), com::S_OK);
  std::uint64_t size = 99;
  EXPECT_EQ(persist->GetSizeMax(&size), com::S_OK);
  EXPECT_EQ(size, 0U);

  // Every interface the browser asks for, through each of the others.
  com::ComPtr<com::IOleWindow> oleWindow;
  com::ComPtr<com::IDockingWindow> docking;
  com::ComPtr<com::IPersist> persistBase;
  com::ComPtr<com::IInputObject> input;
  EXPECT_EQ(persist.As(oleWindow), com::S_OK);
  EXPECT_EQ(oleWindow.As(docking), com::S_OK);
  EXPECT_EQ(docking.As(persistBase), com::S_OK);
  EXPECT_EQ(persistBase.As(input), com::S_OK);
  com::ComPtr<com::IDispatch> dispatch;
  EXPECT_EQ(band_.As(dispatch), com::E_NOINTERFACE);

  // GetSite hands out the site's own interfaces.
  com::ComPtr<com::IObjectWithSite> withSite;
  ASSERT_EQ(band_.As(withSite), com::S_OK);
  void *object = nullptr;
  ASSERT_EQ(withSite->GetSite(com::IServiceProvider::iid, &object), com::S_OK);
  com::ComPtr<com::IServiceProvider> services;
  services.Attach(static_cast<com::IServiceProvider *>(object));
  com::ComPtr<com::IServiceProvider> direct;
  ASSERT_EQ(site_.As(direct), com::S_OK);
  EXPECT_EQ(services, direct);
}

} // namespace
} // namespace quorvelle::test
