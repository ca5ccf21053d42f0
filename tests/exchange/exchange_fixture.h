#pragma once
// A store for the exchange tests: an isolated user whose installation folder
// holds the two conversion stylesheets, and scripted answers for the export
// and import dialogs.

#include "exchange/exchange_dialogs.h"
#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"
#include "tests/helpers/test_environment.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::test {

// Answers the export and import dialogs from queues and records what they
// were shown; an empty queue cancels. Installed for its lifetime.
class ScriptedExchangeDialogs final : public ExchangeDialogs {
public:
  ScriptedExchangeDialogs() : previous_(InstallExchangeDialogs(this)) {}
  ~ScriptedExchangeDialogs() override { InstallExchangeDialogs(previous_); }
  ScriptedExchangeDialogs(const ScriptedExchangeDialogs &) = delete;
  ScriptedExchangeDialogs &operator=(const ScriptedExchangeDialogs &) = delete;

  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions & /*store*/) override {
    ++exportShown;
    return Next(exportAnswers);
  }
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions & /*store*/, const std::string &name) override {
    proposedNames.push_back(name);
    return Next(importAnswers);
  }

  std::deque<std::optional<ExportChoice>> exportAnswers;
  std::deque<std::optional<ImportChoice>> importAnswers;
  int exportShown = 0;
  std::vector<std::string> proposedNames;

private:
  template <typename T> static std::optional<T> Next(std::deque<std::optional<T>> &queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> answer = queue.front();
    queue.pop_front();
    return answer;
  }
  ExchangeDialogs *previous_;
};

struct FeedRow {
  std::string category; // decoded; "" for General
  std::string src;
  std::string title; // decoded from the stored text form
  std::string enabled;
  bool operator==(const FeedRow &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const FeedRow &row) {
  return out << "{" << row.category << " | " << row.src << " | " << row.title << " | " << row.enabled << "}";
}

// Every feed of the document in document order, with its category.
inline std::vector<FeedRow> AllFeeds(platform::XmlDocument &doc) {
  std::vector<FeedRow> rows;
  if (!doc.HasRoot()) return rows;
  std::vector<std::pair<platform::XmlNode, std::string>> pending;
  for (platform::XmlNode n = doc.DocumentElement().LastChild(); n; n = n.PreviousSibling())
    pending.emplace_back(n, "");
  while (!pending.empty()) {
    auto [node, category] = pending.back();
    pending.pop_back();
    if (!node.IsElement()) continue;
    const std::string name = node.NodeName();
    if (name == "Quorvelle_Feed") {
      rows.push_back({category, node.FindAttribute("src").value_or("<none>"),
                      platform::DecodeStoredText(node.FindAttribute("title").value_or("")),
                      node.FindAttribute("enabled").value_or("")});
      continue;
    }
    std::string inner = category;
    if (name == "Quorvelle_Category") inner = platform::DecodeStoredText(node.FindAttribute("name").value_or(""));
    for (platform::XmlNode c = node.LastChild(); c; c = c.PreviousSibling())
      pending.emplace_back(c, inner);
  }
  return rows;
}

class ExchangeTest : public ::testing::Test {
protected:
  void SetUp() override {
    appPath = user.Home() + "/app/";
    std::filesystem::create_directories(appPath);
    for (const char *name : {"FeedsToOPML.xsl", "OpmlToFeeds.xsl"}) {
      std::filesystem::copy_file(std::string(QUORVELLE_SOURCE_DIR) + "/data/" + name, appPath + name);
    }
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    ASSERT_TRUE(key.has_value());
    key->WriteString("AppPath", appPath);
    store = std::make_unique<TRSSFeedOptions>();
    store->Load();
    ASSERT_EQ(store->AppPath, appPath);
  }

  std::vector<FeedRow> Feeds() { return AllFeeds(*store->FXMLDoc); }
  std::vector<std::string> Srcs() {
    std::vector<std::string> out;
    for (const FeedRow &row : Feeds())
      out.push_back(row.src);
    return out;
  }
  std::string StoredAttribute(const std::string &src, const char *name) {
    XmlNode feed = store->FindFeedWithURL(store->FXMLDoc->DocumentElement(), src);
    return feed ? feed.FindAttribute(name).value_or("<none>") : "<no feed>";
  }

  IsolatedUser user;
  std::string appPath;
  std::unique_ptr<TRSSFeedOptions> store;
};

} // namespace quorvelle::test
