// What counts as new: random histories of feeds against a model of what the
// user has been shown, and several processes marking at once.

#include "report/item_identity.h"
#include "report/seen_items.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle::report {
namespace {

// How an item of the generated feeds is known: by its own id, only by its
// link, or only by its title and date.
enum class Kind { Id, LinkOnly, TitleDate };

struct Item {
  int serial = 0; // the model's identity
  Kind kind = Kind::Id;
  std::string link;
  int day = 1;
};

std::string Escape(const std::string &text) {
  std::string out;
  for (const char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else
      out.push_back(c);
  }
  return out;
}

// One published version of a feed, in one of the three families, with
// random white space around the values.
std::string Publish(const std::vector<Item> &items, int family, std::mt19937 &random) {
  auto pad = [&random](const std::string &text) {
    static const char *spaces[] = {"", " ", "\n  ", "\t"};
    return std::string(spaces[random() % 4]) + text + spaces[random() % 4];
  };
  auto title = [](const Item &item) { return "Item " + std::to_string(item.serial) + " & <co>"; };
  auto date = [](const Item &item) { return "2026-03-" + std::to_string(10 + item.day % 18) + "T10:00:00Z"; };
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (family == 0) {
    out += "<rss version=\"2.0\"><channel><title>T</title><link>http://site.example/</link>";
    for (const Item &item : items) {
      out += "<item><title>" + pad(Escape(title(item))) + "</title>";
      if (item.kind == Kind::Id)
        out += "<guid isPermaLink=\"false\">" + pad("tag:site.example," + std::to_string(item.serial)) + "</guid>";
      if (item.kind != Kind::TitleDate) out += "<link>" + pad(Escape(item.link)) + "</link>";
      out += "<pubDate>" + date(item) + "</pubDate></item>";
    }
    out += "</channel></rss>";
  } else if (family == 1) {
    out += "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>T</title>";
    for (const Item &item : items) {
      out += "<entry><title type=\"text\">" + pad(Escape(title(item))) + "</title>";
      if (item.kind == Kind::Id) out += "<id>" + pad("urn:x:" + std::to_string(item.serial)) + "</id>";
      out += "<link rel=\"replies\" href=\"http://site.example/comments\"/>";
      if (item.kind != Kind::TitleDate) out += "<link rel=\"alternate\" href=\"" + Escape(item.link) + "\"/>";
      out += "<updated>" + date(item) + "</updated></entry>";
    }
    out += "</feed>";
  } else {
    out += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\""
           " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel rdf:about=\"http://site.example/\"/>";
    for (const Item &item : items) {
      out += item.kind == Kind::Id ? "<item rdf:about=\"urn:r:" + std::to_string(item.serial) + "\">" : "<item>";
      out += "<title>" + pad(Escape(title(item))) + "</title>";
      if (item.kind != Kind::TitleDate) out += "<link>" + pad(Escape(item.link)) + "</link>";
      out += "<dc:date>" + date(item) + "</dc:date></item>";
    }
    out += "</rdf:RDF>";
  }
  return out;
}

// What the user has been shown, per feed: the simple truth the store must
// agree with.
struct Model {
  std::map<std::string, std::set<int>> seen; // feeds met, and the items shown

  ViewResult Expect(const std::string &feed, const std::vector<Item> &items, Mark mark, std::size_t shown) {
    ViewResult expected;
    const auto found = seen.find(feed);
    expected.known = found != seen.end();
    for (std::size_t i = 0; i < items.size(); ++i) {
      const bool isNew = expected.known && !found->second.contains(items[i].serial);
      expected.isNew.push_back(isNew);
      expected.newCount += isNew ? 1 : 0;
    }
    if (mark == Mark::Yes) {
      std::set<int> &marks = seen[feed];
      for (std::size_t i = 0; i < items.size(); ++i)
        if (!expected.known || i < shown) marks.insert(items[i].serial);
    }
    return expected;
  }
};

TEST(SeenItems, RandomFeedHistoriesAgreeWithWhatTheUserWasShown) {
  test::IsolatedUser user;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const std::string file = user.Home() + "/state-" + std::to_string(seed) + "/seen-items.json";
    const std::vector<std::string> feeds = {"http://a.example/rss", "https://b.example/atom", "http://c.example/rdf"};
    std::map<std::string, std::vector<Item>> versions;
    std::map<std::string, int> family;
    Model model;
    int serial = 0;
    auto fresh = [&](const std::string &feed) {
      Item item;
      item.serial = ++serial;
      const unsigned kind = random() % 5;
      item.kind = kind < 3 ? Kind::Id : kind == 3 ? Kind::LinkOnly : Kind::TitleDate;
      item.link = feed + "/item/" + std::to_string(serial) + "?a=1&b=2";
      item.day = static_cast<int>(random() % 28);
      return item;
    };
    for (std::size_t f = 0; f < feeds.size(); ++f) {
      family[feeds[f]] = static_cast<int>(f);
      for (int i = 0; i < 5; ++i)
        versions[feeds[f]].push_back(fresh(feeds[f]));
    }
    for (int step = 0; step < 150; ++step) {
      // Republish one feed with a change.
      const std::string &changed = feeds[random() % feeds.size()];
      std::vector<Item> &items = versions[changed];
      switch (random() % 6) {
      case 0:
      case 1:
        for (unsigned n = random() % 3 + 1; n > 0; --n)
          items.insert(items.begin() + static_cast<std::ptrdiff_t>(random() % (items.size() + 1)), fresh(changed));
        break;
      case 2:
        if (!items.empty()) items.erase(items.begin() + static_cast<std::ptrdiff_t>(random() % items.size()));
        break;
      case 3: std::shuffle(items.begin(), items.end(), random); break;
      case 4:
        // Dates and links rewritten; an item known only by its title and
        // date keeps its date, else it is another item.
        for (Item &item : items) {
          if (item.kind != Kind::TitleDate) item.day = static_cast<int>(random() % 28);
          if (item.kind == Kind::Id) item.link += "&utm=" + std::to_string(step);
        }
        break;
      default: break; // served again unchanged
      }
      // Now and then the list loses a feed, or the file is damaged.
      const unsigned event = random() % 40;
      if (event == 0) {
        SeenItems dropping(file);
        const std::string gone = feeds[random() % feeds.size()];
        std::set<std::string> listed(feeds.begin(), feeds.end());
        listed.erase(gone);
        dropping.Commit(listed);
        model.seen.erase(gone);
      } else if (event == 1 && test::PathExists(file)) {
        test::WriteFile(file, "{\"quorvelle-seen-items\": 1, \"feeds\": [{\"url\": 5");
        model.seen.clear();
      }
      // One view (a page, a run of the command line, a count) of one to
      // three feeds, as a process of its own.
      SeenItems view(file);
      const Mark mark = random() % 4 == 0 ? Mark::No : Mark::Yes;
      for (unsigned n = random() % 3 + 1; n > 0; --n) {
        const std::string &feed = feeds[random() % feeds.size()];
        const std::size_t shown = random() % 2 == 0 ? 3 : static_cast<std::size_t>(-1);
        const ViewResult got =
            view.View(feed, ItemIdentities(Publish(versions[feed], family[feed], random)), mark, shown);
        const ViewResult expected = model.Expect(feed, versions[feed], mark, shown);
        ASSERT_EQ(got.known, expected.known) << "step " << step << " " << feed;
        ASSERT_EQ(got.isNew, expected.isNew) << "step " << step << " " << feed;
        ASSERT_EQ(got.newCount, expected.newCount) << "step " << step << " " << feed;
      }
      EXPECT_EQ(view.HasPendingMarks(), mark == Mark::Yes);
      view.Commit();
      EXPECT_FALSE(view.HasPendingMarks());
    }
  }
}

TEST(SeenItems, ProcessesMarkingAtOnceKeepEachOthersMarksAndTheFileStaysBounded) {
  test::IsolatedUser user;
  const std::string file = SeenItemsFile();
  ASSERT_EQ(file, user.Home() + "/.local/state/Quorvelle/seen-items.json");
  constexpr int kProcesses = 4;
  constexpr int kRounds = 30;
  auto ids = [](int process, int round) {
    std::vector<std::string> out;
    for (int i = 0; i < 20; ++i)
      out.push_back("id " + std::to_string(process) + "-" + std::to_string(round * 20 + i));
    return out;
  };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        // Every process its own feed, and all of them one shared feed.
        for (int round = 0; round < kRounds; ++round) {
          SeenItems view(file);
          view.View("http://own.example/" + std::to_string(p), ids(p, round), Mark::Yes);
          view.View("http://shared.example/", {"id base", ids(p, round)[0]}, Mark::Yes);
          view.Commit();
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::optional<SeenItems::State> state = SeenItems::Parse(test::ReadFile(file));
  ASSERT_TRUE(state);
  ASSERT_EQ(state->size(), static_cast<std::size_t>(kProcesses + 1));
  for (int p = 0; p < kProcesses; ++p) {
    const SeenItems::FeedState &own = state->at("http://own.example/" + std::to_string(p));
    // 600 marked, the last 400 kept.
    EXPECT_EQ(own.ids.size(), kSeenPerFeed);
    EXPECT_EQ(own.ids.back(), ids(p, kRounds - 1).back());
    EXPECT_EQ(own.ids.front(), "id " + std::to_string(p) + "-" + std::to_string(kRounds * 20 - kSeenPerFeed));
    // The shared feed was met first by one of them; the others' later
    // items were marked on top of it, none lost.
  }
  const SeenItems::FeedState &shared = state->at("http://shared.example/");
  EXPECT_TRUE(shared.index.contains("id base"));
  for (int p = 0; p < kProcesses; ++p)
    for (int round = 1; round < kRounds; ++round)
      EXPECT_TRUE(shared.index.contains(ids(p, round)[0])) << p << " " << round;
}

} // namespace
} // namespace quorvelle::report
