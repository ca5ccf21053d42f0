#pragma once
// Drives modal windows in the dialogs' tests like a person would: waits until
// a window of the wanted kind is the active modal one, then acts on it.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace quorvelle::test {

// Once a modal T is shown (checked every 10 ms, for up to 5 s), act runs on it.
template <typename T> void WhenModal(std::function<void(T *)> act, int attemptsLeft = 500) {
  QTimer::singleShot(10, [act = std::move(act), attemptsLeft]() mutable {
    if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
      act(window);
    } else if (attemptsLeft > 0) {
      WhenModal<T>(std::move(act), attemptsLeft - 1);
    } else if (QWidget *other = QApplication::activeModalWidget()) {
      // Not what the test expected: close it so the test fails instead of hanging.
      other->close();
    }
  });
}

} // namespace quorvelle::test
