#pragma once
// TJvBandForm: the base of a band's form. It is created inside the window the
// browser gives the band, knows the band object that created it and tells
// that object how it wants to be sized (size constraints, integral steps,
// mode flags).

#include "band/band_support.h"
#include "platform/com/com_types.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace quorvelle {

class TzCustomBandObject;

enum TBandModeFlag : unsigned {
  bmfVariableHeight = 1U << 0,
  bmfDebossed = 1U << 1,
  bmfBkColor = 1U << 2,
};

class TJvBandForm : public QWidget {
  Q_OBJECT

public:
  // Receives the form and the size to report, which it may change.
  using TBandSizeEvent = std::function<void(TJvBandForm &form, com::POINTL &size)>;

  ~TJvBandForm() override;

  // Makes a form of class T as a child of parent for bandObject: borderless,
  // hidden, its client area as large as the parent's, and then its OnCreate
  // (FormCreate) run.
  template <typename T> static std::unique_ptr<T> CreateBandForm(QWidget *parent, TzCustomBandObject *bandObject) {
    std::unique_ptr<T> form(new T(parent, bandObject));
    form->InitBandForm(parent);
    return form;
  }

  // The band object that created the form; nullptr once it let go of it.
  [[nodiscard]] TzCustomBandObject *BandObject() const noexcept { return FBandObject; }
  // True while one of the form's commands runs (a modal dialog may be open).
  [[nodiscard]] bool RunningCommand() const noexcept { return FCommandDepth > 0; }

  // The band object lets go of the form: the form is freed now, or, while
  // one of its commands still runs, hidden, taken out of the browser's
  // window (which may go first) and freed once that command ended; the
  // library does not unload meanwhile.
  static void Release(TJvBandForm *form) noexcept;

  unsigned BandModeFlags = bmfVariableHeight;
  int BandIntegralX = 1;
  int BandIntegralY = 1;
  TBandSizeEvent OnBandGetMinSize;
  TBandSizeEvent OnBandGetMaxSize;
  TBandSizeEvent OnBandGetIntegral;
  TBandSizeEvent OnBandGetActualSize;

protected:
  TJvBandForm(QWidget *parent, TzCustomBandObject *bandObject);

  // The form's OnCreate.
  virtual void FormCreate() {}

  // Marks a command of the form as running for its lifetime.
  class CommandScope {
  public:
    explicit CommandScope(TJvBandForm &form) : form_(form) { ++form_.FCommandDepth; }
    ~CommandScope() {
      if (--form_.FCommandDepth == 0 && form_.FFreeWhenIdle) form_.deleteLater();
    }
    CommandScope(const CommandScope &) = delete;
    CommandScope &operator=(const CommandScope &) = delete;

  private:
    TJvBandForm &form_;
    UserCommand user_;
  };

private:
  void InitBandForm(QWidget *parent);

  TzCustomBandObject *FBandObject;
  int FCommandDepth = 0;
  bool FFreeWhenIdle = false;
};

} // namespace quorvelle
