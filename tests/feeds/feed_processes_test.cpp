// Two processes share one feed list, as two browser windows do: each takes
// commands in turn, idles with a stale copy in between, and ends normally or
// is killed at a random moment (also in the middle of a save). After every
// round the file parses and holds every saved change the user did not undo.
//
// QUORVELLE_MODEL_SEED repeats a run; QUORVELLE_MODEL_STEPS sets the rounds.
#include "feeds/feed_store.h"
#include "platform/codepage/text_case.h"
#include "tests/helpers/test_environment.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle {
namespace {

// A window in a child process: runs one command per line read ("a <url>"
// adds, "d <url>" removes, "q" ends the module) and answers each with a line.
class Window {
public:
  Window() {
    int toChild[2], toParent[2];
    if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(toParent[0]);
      Serve(toChild[0], toParent[1]);
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    in_ = ::fdopen(toParent[0], "r");
    out_ = toChild[1];
  }
  ~Window() {
    if (pid_ > 0) Kill();
    if (in_ != nullptr) std::fclose(in_);
    ::close(out_);
  }
  Window(const Window &) = delete;
  Window &operator=(const Window &) = delete;

  void Send(const std::string &line) {
    const std::string text = line + "\n";
    ASSERT_EQ(::write(out_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // The child's answer; false when it ended without one.
  bool Answered() {
    char buffer[16];
    return std::fgets(buffer, sizeof buffer, in_) != nullptr;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    Reap();
  }
  int Reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

private:
  [[noreturn]] static void Serve(int in, int out) {
    {
      QuorvelleModule module;
      FILE *commands = ::fdopen(in, "r");
      char line[512];
      while (std::fgets(line, sizeof line, commands) != nullptr) {
        std::string command(line);
        command.pop_back();
        if (command == "q") break;
        FeedOptions->Load();
        const std::string url = command.substr(2);
        if (command[0] == 'a') {
          FeedOptions->AddNewRSSFeed(url, "T\v" + url, "");
        } else {
          FeedOptions->DeleteFeed(url, "");
        }
        FeedOptions->Save();
        if (::write(out, "k\n", 2) != 2) break;
      }
    }
    ::_exit(0);
  }

  pid_t pid_ = -1;
  FILE *in_ = nullptr;
  int out_ = -1;
};

std::set<std::string> SavedUrls(const std::string &file) {
  // No window may have saved yet: every command so far was cut short.
  if (::access(file.c_str(), F_OK) != 0) return {};
  platform::XmlDocument doc;
  EXPECT_TRUE(doc.Load(file)) << doc.ParseError();
  std::set<std::string> urls;
  if (!doc.HasRoot()) return urls;
  for (XmlNode feed : doc.DocumentElement().FirstChild().ChildElements("Quorvelle_Feed"))
    urls.insert(feed.GetAttribute("src"));
  return urls;
}

TEST(FeedProcesses, TwoWindowsKilledOrClosedAtRandomKeepEverySavedChange) {
  test::IsolatedUser user;
  const char *seedText = std::getenv("QUORVELLE_MODEL_SEED");
  const unsigned long seed = seedText != nullptr ? std::strtoul(seedText, nullptr, 10) : std::random_device{}();
  const char *roundsText = std::getenv("QUORVELLE_MODEL_STEPS");
  const unsigned long rounds = roundsText != nullptr ? std::strtoul(roundsText, nullptr, 10) / 50 + 1 : 25;
  std::fprintf(stderr, "QUORVELLE_MODEL_SEED=%lu\n", seed);
  SCOPED_TRACE("QUORVELLE_MODEL_SEED=" + std::to_string(seed));
  std::mt19937_64 rng(seed);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };

  std::set<std::string> present;   // saved and not removed since
  std::set<std::string> uncertain; // a command cut short by a kill
  int next = 0;
  for (unsigned long round = 0; round < rounds; ++round) {
    Window windows[2];
    bool open[2] = {true, true};
    for (int step = 0; step < 8 && (open[0] || open[1]); ++step) {
      const int w = open[0] && open[1] ? static_cast<int>(pick(2)) : (open[0] ? 0 : 1);
      Window &window = windows[w];
      std::string url;
      char kind = 'a';
      if (!present.empty() && pick(3) == 0) {
        kind = 'd';
        url = *std::next(present.begin(), static_cast<long>(pick(present.size())));
      } else {
        url = "http://p" + std::to_string(next++) + ".example/";
      }
      const std::size_t fate = pick(10);
      if (fate == 0) { // the window is closed
        window.Send("q");
        EXPECT_EQ(window.Reap(), 0);
        open[w] = false;
        continue;
      }
      window.Send(std::string(1, kind) + " " + url);
      if (fate == 1) { // killed at a random point of the command
        ::usleep(static_cast<useconds_t>(pick(3000)));
        window.Kill();
        open[w] = false;
        uncertain.insert(url);
        present.erase(url);
        continue;
      }
      ASSERT_TRUE(window.Answered());
      uncertain.erase(url);
      if (kind == 'a') {
        present.insert(url);
      } else {
        present.erase(url);
      }
    }
    for (int w = 0; w < 2; ++w) {
      if (!open[w]) continue;
      if (pick(2) == 0) {
        windows[w].Kill();
      } else {
        windows[w].Send("q");
        EXPECT_EQ(windows[w].Reap(), 0);
      }
    }
    std::set<std::string> saved = SavedUrls(user.FeedsFile());
    for (const std::string &url : present)
      EXPECT_EQ(saved.count(url), 1U) << "lost " << url << " in round " << round;
    for (const std::string &url : saved) {
      EXPECT_TRUE(present.count(url) != 0 || uncertain.count(url) != 0) << "came back " << url;
      if (uncertain.erase(url) != 0) present.insert(url);
    }
    uncertain.clear();
    ASSERT_FALSE(HasFailure()) << "round " << round;
  }
}

} // namespace
} // namespace quorvelle
