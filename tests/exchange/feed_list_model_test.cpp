// A seeded random walk over the real store, mirrored on a plain model of the
// list: after every command the file on disk parses, a fresh store reads the
// model's list back and no two feeds share an address.
//
// QUORVELLE_MODEL_SEED repeats a run; QUORVELLE_MODEL_STEPS makes it longer
// (bench/feed_list_model.sh runs it for minutes).
#include "tests/exchange/exchange_fixture.h"

#include "platform/codepage/text_case.h"
#include "platform/xml/xml_escape.h"
#include "support/rss_feed_utils.h"
#include "tests/helpers/scripted_ui.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>

namespace quorvelle::test {
namespace {

using platform::LowerCase;

struct ModelFeed {
  std::string src, title, enabled;
};
// A child of the categories container: a feed of General or a category.
struct ModelNode {
  bool isCategory = false;
  std::string name;
  std::vector<ModelFeed> feeds; // a category's feeds
  ModelFeed feed;               // a General feed
};

// The text a fresh store gives back for text the store was handed.
std::string Stored(const std::string &text) {
  return platform::DecodeStoredText(platform::XmlSafeText(platform::EncodeStoredText(text)));
}

// ASCII letters upper-cased: the same name or address as the user types it.
std::string Shout(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

unsigned long EnvNumber(const char *name, unsigned long fallback) {
  const char *value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

class FeedListModel : public ExchangeTest {
protected:
  std::mt19937_64 rng;
  std::vector<ModelNode> model;
  ScriptedUi ui;
  int fileNumber = 0;

  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
  bool Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }

  std::string Hostile() {
    static const char *const kPieces[] = {
        "News",     "\v",           "\x01", "\x1f\x0c", "\t",           "\r\n",
        " ",        "&amp;",        "&u;",  "&#1;",     "\"'",          "<b>",
        "]]>",      "\xEF\xBF\xBE", "\xC3", "\xD0\x96", "\xE6\x96\xB0", "\xF0\x9F\x98\x80",
        "\xD8\xB9", "caf\xC3\xA9",  "%$/",
    };
    std::string text;
    for (std::size_t n = 1 + Pick(5); n > 0; --n)
      text += kPieces[Pick(std::size(kPieces))];
    if (Pick(1000) < 3) text += std::string(70'000, 'L');
    return text;
  }
  std::string Address() {
    std::string url = "http://h" + std::to_string(Pick(6)) + ".example/Feed" + std::to_string(Pick(8));
    if (Chance(30)) url = Chance(50) ? Shout(url) : LowerCase(url);
    return url;
  }
  std::string Enabled() { return Chance(50) ? "true" : "false"; }

  // ---- the model's own lookups
  ModelNode *Category(const std::string &name) {
    for (ModelNode &node : model)
      if (node.isCategory && LowerCase(node.name) == LowerCase(name)) return &node;
    return nullptr;
  }
  std::vector<ModelFeed> *FeedsOf(const std::string &category) {
    if (category.empty()) return nullptr;
    ModelNode *node = Category(category);
    return node != nullptr ? &node->feeds : nullptr;
  }
  bool Known(const std::string &src) {
    for (const FeedRow &row : Rows())
      if (LowerCase(row.src) == LowerCase(src)) return true;
    return false;
  }
  std::vector<ModelFeed *> GeneralFeeds() {
    std::vector<ModelFeed *> out;
    for (ModelNode &node : model)
      if (!node.isCategory) out.push_back(&node.feed);
    return out;
  }
  std::vector<ModelFeed *> Feeds(const std::string &category) {
    if (category.empty()) return GeneralFeeds();
    std::vector<ModelFeed *> out;
    if (ModelNode *node = Category(category))
      for (ModelFeed &feed : node->feeds)
        out.push_back(&feed);
    return out;
  }
  void Append(const std::string &category, ModelFeed feed) {
    if (category.empty()) {
      model.push_back({false, "", {}, std::move(feed)});
    } else {
      Category(category)->feeds.push_back(std::move(feed));
    }
  }
  void Remove(const std::string &src) {
    for (auto it = model.begin(); it != model.end(); ++it) {
      if (!it->isCategory && LowerCase(it->feed.src) == LowerCase(src)) {
        model.erase(it);
        return;
      }
      for (auto f = it->feeds.begin(); f != it->feeds.end(); ++f)
        if (LowerCase(f->src) == LowerCase(src)) {
          it->feeds.erase(f);
          return;
        }
    }
  }
  std::vector<FeedRow> Rows() {
    std::vector<FeedRow> rows;
    for (const ModelNode &node : model) {
      if (!node.isCategory) rows.push_back({"", node.feed.src, node.feed.title, node.feed.enabled});
      for (const ModelFeed &feed : node.feeds)
        rows.push_back({node.name, feed.src, feed.title, feed.enabled});
    }
    return rows;
  }
  // A category name as a user picks it: "" (General) or a shown one, in any case.
  std::string SomeCategory() {
    std::vector<std::string> names{""};
    for (const ModelNode &node : model)
      if (node.isCategory) names.push_back(node.name);
    const std::string name = names[Pick(names.size())];
    return Chance(20) ? Shout(name) : name;
  }
  // A feed of the category, or "" when it has none.
  std::string SomeFeedIn(const std::string &category) {
    std::vector<ModelFeed *> feeds = Feeds(category);
    return feeds.empty() ? std::string() : feeds[Pick(feeds.size())]->src;
  }

  // ---- one command on the store and the model
  std::string Step() {
    switch (Pick(12)) {
    case 0:
    case 1: {
      const std::string url = Address(), title = Hostile();
      const std::string category = Chance(70) ? SomeCategory() : Hostile();
      const bool added = store->AddNewRSSFeed(url, title, category);
      EXPECT_EQ(added, !Known(url)) << url;
      if (added && category.empty()) {
        Append("", {url, Stored(title), "true"});
      } else if (added) {
        // A missing category is created under the name as typed.
        if (Category(category) == nullptr) model.push_back({true, Stored(category), {}, {}});
        ModelNode *target = Category(category) != nullptr ? Category(category) : &model.back();
        target->feeds.push_back({url, Stored(title), "true"});
      }
      return "add " + url;
    }
    case 2: {
      const std::string url = SomeFeedIn(SomeCategory());
      store->DeleteFeed(Chance(50) ? Shout(url) : url, "");
      Remove(url);
      return "remove " + url;
    }
    case 3: {
      const std::string category = SomeCategory(), oldUrl = SomeFeedIn(category);
      if (oldUrl.empty()) return "edit nothing";
      const std::string newUrl = Address(), title = Hostile();
      bool taken = false;
      for (const FeedRow &row : Rows())
        taken |= LowerCase(row.src) == LowerCase(newUrl) && LowerCase(row.src) != LowerCase(oldUrl);
      EXPECT_EQ(store->ChangeFeedPropertiesFeed(category, oldUrl, newUrl, title), !taken);
      if (!taken) {
        for (ModelFeed *feed : Feeds(category))
          if (feed->src == oldUrl) *feed = {newUrl, Stored(title), feed->enabled};
      }
      return "edit " + oldUrl + " -> " + newUrl;
    }
    case 4: {
      const std::string category = SomeCategory(), url = SomeFeedIn(category);
      if (url.empty()) return "move nothing";
      const int direction = static_cast<int>(Pick(4));
      store->MoveFeed(url, category, direction);
      std::vector<ModelFeed *> feeds = Feeds(category);
      std::size_t at = 0;
      while (feeds[at]->src != url)
        ++at;
      const std::size_t last = feeds.size() - 1;
      const std::size_t partner = direction == mdDown  ? std::min(at + 1, last)
                                  : direction == mdUp  ? (at == 0 ? 0 : at - 1)
                                  : direction == mdTop ? 0
                                                       : last;
      std::swap(*feeds[at], *feeds[partner]);
      return "move " + url;
    }
    case 5: {
      const std::string from = SomeCategory(), to = SomeCategory(), url = SomeFeedIn(from);
      if (url.empty()) return "move-to nothing";
      store->MoveFeedToCategory(url, from, to);
      ModelFeed moved = *Feeds(from)[0];
      for (ModelFeed *feed : Feeds(from))
        if (feed->src == url) moved = *feed;
      Remove(url);
      Append(to, moved);
      return "move-to " + url;
    }
    case 6: {
      const std::string category = SomeCategory(), url = SomeFeedIn(category);
      if (url.empty()) return "enable nothing";
      const bool enabled = Chance(50);
      EXPECT_TRUE(store->SetFeedStateEnabled(url, category, enabled));
      for (ModelFeed *feed : Feeds(category))
        if (feed->src == url) feed->enabled = enabled ? "true" : "false";
      return "enable " + url;
    }
    case 7: {
      const std::string name = Hostile(), cleaned = MakeValidFileName(name);
      const bool added = static_cast<bool>(store->AddCategory(name));
      EXPECT_EQ(added, !cleaned.empty() && Category(cleaned) == nullptr) << name;
      if (added) model.push_back({true, Stored(cleaned), {}, {}});
      return "add category";
    }
    case 8: {
      const std::string from = SomeCategory(), to = Hostile(), cleaned = MakeValidFileName(to);
      store->RenameCategory(from, to);
      if (!from.empty() && !cleaned.empty()) Category(from)->name = Stored(cleaned);
      return "rename category";
    }
    case 9: {
      const std::string name = SomeCategory();
      store->DeleteCategory(name);
      if (!name.empty()) {
        for (auto it = model.begin(); it != model.end(); ++it)
          if (&*it == Category(name)) {
            model.erase(it);
            break;
          }
      }
      return "remove category " + name;
    }
    case 10: return ImportOwnFormat();
    default: return Chance(50) ? ImportOpml() : Export();
    }
  }

  std::string ImportOwnFormat() {
    // Categories the store has (in another case) or new ones; feeds with
    // addresses new and known, some that must be skipped; XML-hostile titles.
    std::string name = SomeCategory();
    if (name.empty() || Chance(50)) name = "Imported" + std::to_string(Pick(3));
    std::string general, inner;
    std::vector<std::pair<std::string, ModelFeed>> incoming; // category, feed
    for (std::size_t n = Pick(4); n > 0; --n) {
      const bool inCategory = Chance(60);
      const std::string url = Chance(10) ? "javascript:alert(" + std::to_string(n) + ")" : Address();
      const std::string enabled = Enabled();
      std::string &target = inCategory ? inner : general;
      target += "<Quorvelle_Feed src=\"" + url + "\" enabled=\"" + enabled + "\" title=\"a&amp;b &lt;" +
                std::to_string(n) + "&gt; &quot;q&quot;\"/>";
      if (LowerCase(url).starts_with("http"))
        incoming.push_back({inCategory ? name : "", {url, "a&b <" + std::to_string(n) + "> \"q\"", enabled}});
    }
    const std::string file = user.Home() + "/in/list" + std::to_string(++fileNumber) + ".xml";
    WriteFile(file, "<Quorvelle_Feeds><Quorvelle_Categories>" + general + "<Quorvelle_Category name=\"" +
                        platform::EscapeXmlValue(platform::EncodeStoredText(name)) + "\" description=\"\">" + inner +
                        "<Stray/></Quorvelle_Category></Quorvelle_Categories>"
                        "</Quorvelle_Feeds>");
    store->ImportXML(file);
    for (auto &[category, feed] : incoming) {
      if (category.empty() && !Known(feed.src)) Append("", feed);
    }
    // A new name is cleaned; when the cleaned name is taken, that category
    // receives the feeds.
    if (Category(name) == nullptr) {
      name = MakeValidFileName(name);
      if (Category(name) == nullptr) model.push_back({true, name, {}, {}});
    }
    for (auto &[category, feed] : incoming) {
      if (!category.empty() && !Known(feed.src)) Append(name, feed);
    }
    return "import own format into " + name;
  }

  std::string ImportOpml() {
    const std::string category = SomeCategory();
    std::string outlines;
    std::vector<ModelFeed> incoming;
    for (std::size_t n = 1 + Pick(3); n > 0; --n) {
      const std::string url = Address();
      outlines += "<outline text=\"o&amp;" + std::to_string(n) + "\" xmlUrl=\"" + url + "\"/>";
      incoming.push_back({url, "o&" + std::to_string(n), "true"});
    }
    const std::string file = user.Home() + "/in/list" + std::to_string(++fileNumber) + ".opml";
    WriteFile(file, "<opml version=\"2.0\"><head><title>t</title></head><body><outline text=\"f\">" + outlines +
                        "</outline></body></opml>");
    EXPECT_TRUE(store->GetFeedsAsOPML(category, file));
    const std::string target = category.empty() ? "" : Category(category)->name;
    for (const ModelFeed &feed : incoming)
      if (!Known(feed.src)) Append(target, feed);
    return "import opml into " + category;
  }

  std::string Export() {
    std::string text;
    store->GetFeedsAsXML(true, "", text);
    platform::XmlDocument exported;
    EXPECT_TRUE(exported.LoadXML(text));
    EXPECT_EQ(AllFeeds(exported), Rows());
    store->GetFeedsAsOPML(true, "", text);
    EXPECT_TRUE(exported.LoadBytes(text)) << exported.ParseError() << "\n" << text.substr(0, 3000);
    return "export";
  }
};

TEST_F(FeedListModel, RandomCommandsNeverLoseOrDamageTheList) {
  const unsigned long seed = EnvNumber("QUORVELLE_MODEL_SEED", std::random_device{}());
  const unsigned long steps = EnvNumber("QUORVELLE_MODEL_STEPS", 1000);
  rng.seed(seed);
  // Printed up front too, so a crash can be repeated.
  std::fprintf(stderr, "QUORVELLE_MODEL_SEED=%lu\n", seed);
  std::string history;
  for (unsigned long step = 0; step < steps; ++step) {
    SCOPED_TRACE("QUORVELLE_MODEL_SEED=" + std::to_string(seed) + " step " + std::to_string(step));
    store->Load(); // every command starts from the list on disk
    history = Step();
    store->Save();

    platform::XmlDocument disk;
    ASSERT_TRUE(disk.Load(user.FeedsFile())) << history << ": " << disk.ParseError();
    TRSSFeedOptions fresh;
    fresh.Load();
    const std::vector<FeedRow> rows = AllFeeds(*fresh.FXMLDoc);
    ASSERT_EQ(rows, Rows()) << "after " << history;
    std::vector<std::string> names;
    for (const ModelNode &node : model)
      if (node.isCategory) names.push_back(node.name);
    std::stable_sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
      return platform::CompareTextIgnoringCase(a, b) < 0;
    });
    std::string listed;
    for (const std::string &name : names)
      listed += name + "\r\n";
    ASSERT_EQ(fresh.GetListOfCategories(), listed) << "after " << history;
    std::set<std::string> addresses;
    for (const FeedRow &row : rows)
      ASSERT_TRUE(addresses.insert(LowerCase(row.src)).second) << "duplicate " << row.src << " after " << history;
    ASSERT_FALSE(HasFailure()) << "after " << history;
  }
}

} // namespace
} // namespace quorvelle::test
