#include "report/seen_items.h"

#include "platform/files/file_io.h"
#include "platform/files/shared_file.h"
#include "platform/shell/known_folders.h"
#include "support/debug_log.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace quorvelle::report {
namespace {

using nlohmann::json;

constexpr const char *kFormatKey = "quorvelle-seen-items";
constexpr int kFormatVersion = 1;
// A state file larger than this is not one of ours.
constexpr std::size_t kMaxFileBytes = 64u << 20;

} // namespace

std::string SeenItemsFile() { return platform::UserStateFolder() + "Quorvelle/seen-items.json"; }

SeenItems::SeenItems(std::string file) : file_(std::move(file)), snapshot_(ReadFile()) {}

std::optional<SeenItems::State> SeenItems::Parse(std::string_view text) {
  if (text.size() > kMaxFileBytes) return std::nullopt;
  const json doc = json::parse(text, nullptr, false);
  if (!doc.is_object()) return std::nullopt;
  const auto format = doc.find(kFormatKey);
  const auto feeds = doc.find("feeds");
  if (format == doc.end() || *format != kFormatVersion || feeds == doc.end() || !feeds->is_array()) return std::nullopt;
  State state;
  for (const json &entry : *feeds) {
    if (!entry.is_object()) return std::nullopt;
    const auto url = entry.find("url");
    const auto seen = entry.find("seen");
    if (url == entry.end() || !url->is_string() || seen == entry.end() || !seen->is_array()) return std::nullopt;
    FeedState &feed = state[url->get<std::string>()];
    std::vector<std::string> ids;
    ids.reserve(seen->size());
    for (const json &id : *seen) {
      if (!id.is_string()) return std::nullopt;
      ids.push_back(id.get<std::string>());
    }
    // A feed listed twice, an id listed twice or more ids than we keep: the
    // bound and the order hold whatever the file said.
    Touch(feed, ids);
  }
  return state;
}

std::string SeenItems::Serialize(const State &state) {
  json feeds = json::array();
  for (const auto &[url, feed] : state)
    feeds.push_back({{"url", url}, {"seen", feed.ids}});
  json doc = {{kFormatKey, kFormatVersion}, {"feeds", std::move(feeds)}};
  // Feed text is UTF-8 from the parser; an address of the list need not be.
  return doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

SeenItems::State SeenItems::ReadFile() const {
  std::optional<std::string> text;
  try {
    platform::SharedFileLock lock(file_, false);
    text = platform::ReadFileBytes(file_);
  } catch (const std::exception &) {
    // A state folder that cannot be made or locked: the views go on without
    // marks, and the failure is in the log.
    LogException("TSeenItems.ReadFile");
    return {};
  }
  if (!text) return {};
  std::optional<State> state = Parse(*text);
  if (!state) {
    LogMessage("The seen-headlines file \"" + file_ + "\" is damaged; it is rebuilt.", 0);
    return {};
  }
  return *std::move(state);
}

void SeenItems::Touch(FeedState &feed, const std::vector<std::string> &ids) {
  std::unordered_set<std::string> touched;
  std::vector<std::string> fresh;
  for (const std::string &id : ids)
    if (touched.insert(id).second) fresh.push_back(id);
  std::vector<std::string> kept;
  kept.reserve(feed.ids.size() + fresh.size());
  for (std::string &id : feed.ids)
    if (!touched.contains(id)) kept.push_back(std::move(id));
  kept.insert(kept.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
  const std::size_t bound = std::min(kSeenPerFeedMax, std::max(kSeenPerFeed, fresh.size()));
  if (kept.size() > bound) kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(kept.size() - bound));
  feed.ids = std::move(kept);
  feed.index = std::unordered_set<std::string>(feed.ids.begin(), feed.ids.end());
}

ViewResult SeenItems::View(const std::string &feed, const std::vector<std::string> &identities, Mark mark,
                           std::size_t shown) {
  const std::lock_guard guard(mutex_);
  ViewResult result;
  result.isNew.assign(identities.size(), false);
  const auto found = snapshot_.find(feed);
  result.known = found != snapshot_.end();
  std::vector<std::string> seen;
  if (result.known) {
    std::unordered_set<std::string> counted;
    for (std::size_t i = 0; i < identities.size(); ++i) {
      const bool isNew = !found->second.index.contains(identities[i]);
      result.isNew[i] = isNew;
      if (isNew && counted.insert(identities[i]).second) ++result.newCount;
      // What stays seen after this view: what was, and what it shows.
      if (!isNew || i < shown) seen.push_back(identities[i]);
    }
  } else {
    seen = identities;
  }
  if (mark == Mark::No) return result;
  Touch(snapshot_[feed], seen);
  std::vector<std::string> &pending = pending_[feed];
  pending.insert(pending.end(), seen.begin(), seen.end());
  return result;
}

void SeenItems::Commit(const std::optional<std::set<std::string>> &listed) {
  const std::lock_guard guard(mutex_);
  platform::SharedFileLock lock(file_, true);
  State state;
  const std::optional<std::string> text = platform::ReadFileBytes(file_);
  bool changed = false;
  if (text) {
    std::optional<State> parsed = Parse(*text);
    if (parsed)
      state = *std::move(parsed);
    else
      changed = true; // rebuilt
  }
  for (auto &[feed, ids] : pending_) {
    Touch(state[feed], ids);
    changed = true;
  }
  if (listed) {
    changed |= std::erase_if(state, [&](const auto &entry) { return !listed->contains(entry.first); }) > 0;
  }
  // Not flushed to the disk: a file lost in a crash is one met for the first
  // time again, which shows nothing new rather than anything wrong, and a
  // page's view does not wait for the disk.
  if (changed) platform::ReplaceFileExclusively(file_, Serialize(state), false);
  pending_.clear();
  snapshot_ = std::move(state);
}

} // namespace quorvelle::report
