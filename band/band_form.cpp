#include "band/band_form.h"

#include "band/band_object.h"
#include "platform/com/unknown.h"

namespace quorvelle {

TJvBandForm::TJvBandForm(QWidget *parent, TzCustomBandObject *bandObject)
    : QWidget(parent, Qt::Widget | Qt::FramelessWindowHint), FBandObject(bandObject) {
  // Hidden until the browser shows the band, even when the parent is shown.
  hide();
}

TJvBandForm::~TJvBandForm() {
  // Freed by someone else (its parent, the browser's window, went first):
  // the band object stops using it before its widgets go.
  if (FBandObject != nullptr) FBandObject->BandFormDestroyed(this);
  if (FFreeWhenIdle) com::ComModule::Unlock();
}

void TJvBandForm::Release(TJvBandForm *form) noexcept {
  if (form == nullptr) return;
  form->FBandObject = nullptr;
  if (form->RunningCommand()) {
    // Freeing it now would pull the form from under the command (a modal
    // dialog of it may be open). From here the form owns itself: it leaves
    // the browser's window, which the browser may free before the command
    // ends, and the last command scope frees it. Meanwhile the library
    // holding its code stays loaded.
    form->FFreeWhenIdle = true;
    com::ComModule::Lock();
    form->hide();
    form->setParent(nullptr, form->windowFlags() & ~Qt::WindowType_Mask);
  } else {
    delete form;
  }
}

void TJvBandForm::InitBandForm(QWidget *parent) {
  if (parent != nullptr) {
    const QRect client = parent->rect();
    resize(client.right() - client.left() + 1, client.bottom() - client.top() + 1);
  }
  FormCreate();
}

} // namespace quorvelle
