#pragma once
// Shared pieces of the dialog tests: the offscreen application, a canned
// download client, a store fixture in an isolated user, and ModalScript,
// which acts on modal dialogs once they are open (exec() blocks the test).

#include "feeds/feed_store.h"
#include "platform/inet/inet_client.h"
#include "tests/helpers/scripted_ui.h"
#include "tests/helpers/test_environment.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::test {

// The QApplication of the test program (the test main may have made one).
inline void EnsureApplication() {
  if (QApplication::instance() != nullptr) {
    return;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "dialogs_tests";
  static char *argv[] = {name, nullptr};
  static QApplication application(argc, argv);
}

// The widgets of interest in the order the focus chain visits them, starting
// at the first one.
inline std::vector<QWidget *> FocusOrder(const std::vector<QWidget *> &widgets) {
  std::vector<QWidget *> visited;
  QWidget *widget = widgets.front();
  do {
    if (std::find(widgets.begin(), widgets.end(), widget) != widgets.end()) {
      visited.push_back(widget);
    }
    widget = widget->nextInFocusChain();
  } while (widget != widgets.front() && visited.size() < widgets.size());
  return visited;
}

// Answers downloads from a table; records every address asked for.
class FakeInet final : public platform::InetClient {
public:
  FakeInet() : previous_(platform::InstallInet(this)) {}
  ~FakeInet() override { platform::InstallInet(previous_); }
  FakeInet(const FakeInet &) = delete;
  FakeInet &operator=(const FakeInet &) = delete;

  std::string GetInetFileToString(const std::string &url) override {
    requests.push_back(url);
    if (onFetch) {
      onFetch(url);
    }
    const auto it = bodies.find(url);
    return it == bodies.end() ? std::string() : it->second;
  }

  std::map<std::string, std::string> bodies;
  std::vector<std::string> requests;
  std::function<void(const std::string &)> onFetch;

private:
  platform::InetClient *previous_;
};

inline std::string RssWithTitle(const std::string &title) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>" + title +
         "</title><link>http://example.org/</link></channel></rss>";
}

// Steps run, in order, on the innermost open modal dialog, each once the
// dialog of its class is showing. A modal dialog that no step expects is
// rejected and counted, so a test never hangs on an unexpected dialog.
class ModalScript {
public:
  ModalScript() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  ModalScript(const ModalScript &) = delete;
  ModalScript &operator=(const ModalScript &) = delete;

  template <class D> void Then(std::function<void(D &)> act) {
    steps_.push_back([act](QWidget *widget) {
      D *dialog = qobject_cast<D *>(widget);
      if (dialog == nullptr) {
        return false;
      }
      act(*dialog);
      return true;
    });
  }

  [[nodiscard]] bool Done() const { return steps_.empty(); }
  int unexpected = 0;

private:
  void Tick() {
    QWidget *widget = QApplication::activeModalWidget();
    if (widget == nullptr || !widget->isVisible()) {
      waitingSince_.reset();
      return;
    }
    if (steps_.empty()) {
      ++unexpected;
      if (auto *dialog = qobject_cast<QDialog *>(widget)) {
        dialog->reject();
      }
      return;
    }
    std::function<bool(QWidget *)> step = steps_.front();
    steps_.pop_front();
    if (step(widget)) {
      waitingSince_.reset();
      return;
    }
    steps_.push_front(step);
    // Another dialog than the expected one is showing: give the expected one
    // time to open above it, then give up.
    const auto now = std::chrono::steady_clock::now();
    if (!waitingSince_) {
      waitingSince_ = now;
    } else if (now - *waitingSince_ > std::chrono::seconds(10)) {
      ADD_FAILURE() << "the expected dialog did not open over " << widget->metaObject()->className();
      steps_.clear();
      if (auto *dialog = qobject_cast<QDialog *>(widget)) {
        dialog->reject();
      }
    }
  }

  QTimer timer_;
  std::deque<std::function<bool(QWidget *)>> steps_;
  std::optional<std::chrono::steady_clock::time_point> waitingSince_;
};

// A fresh user with the process-wide store loaded, the scripted user
// interface and the canned download client installed.
class DialogTest : public ::testing::Test {
protected:
  DialogTest() { EnsureApplication(); }
  void SetUp() override { LoadStore(); }
  void TearDown() override { FeedOptions.reset(); }

  void LoadStore() {
    FeedOptions = std::make_unique<TRSSFeedOptions>();
    FeedOptions->Load();
  }
  // Writes Feeds.xml and loads the store from it.
  void SeedFeeds(const std::string &xml) {
    WriteFile(user.FeedsFile(), xml);
    LoadStore();
  }
  [[nodiscard]] std::string DiskFeeds() const {
    return PathExists(user.FeedsFile()) ? ReadFile(user.FeedsFile()) : std::string();
  }
  [[nodiscard]] static std::string MemoryFeeds() { return FeedOptions->FXMLDoc->Xml(); }

  IsolatedUser user;
  ScriptedUi ui;
  FakeInet inet;
};

} // namespace quorvelle::test
