#pragma once
// Which headlines the user has already been shown, per feed address, kept in
// the user's state folder ("seen-items.json" in $XDG_STATE_HOME/Quorvelle/)
// and shared by every process of the product: our browser's windows, the
// extension's host and the command line.
//
// A view judges a feed's current items against what earlier views showed:
// an item whose identity (report/item_identity.h) no earlier view showed is
// new. The first time a feed is met at all (no state file yet after
// installing, a feed the user just added, a state file that was damaged and
// is being rebuilt) nothing of it is new and all its current items count as
// seen: everything is simply there. Later views mark as seen only the items
// they show, so a feed page shows what a start page with its few headlines
// per feed left out.
//
// The file holds, per feed, the identities of the last few hundred items
// seen (those still in the feed are kept first); feeds no longer in the list
// are dropped when a caller names the list. It is written atomically under
// an exclusive lock after reading it again and merging, so two processes
// never lose each other's marks; a damaged file is ignored (logged) and
// rebuilt on the next write.

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorvelle::report {

// "<state folder>/Quorvelle/seen-items.json"
std::string SeenItemsFile();

enum class Mark {
  No,  // only look (a count, a peek): nothing is recorded
  Yes, // a view: what it shows counts as seen from now on
};

struct ViewResult {
  // One flag per identity given, in their order: not seen by an earlier view.
  std::vector<bool> isNew;
  // How many different new identities the feed holds.
  std::size_t newCount = 0;
  // Whether the feed had been met before; false on its first view.
  bool known = false;
};

// How many identities a feed keeps at least, and at most whatever one view
// shows.
inline constexpr std::size_t kSeenPerFeed = 400;
inline constexpr std::size_t kSeenPerFeedMax = 10000;

// Safe to call from several threads (the fetcher's deliveries and the
// caller's own).
class SeenItems {
public:
  // Reads the state as it is now (a missing or damaged file reads as empty).
  explicit SeenItems(std::string file = SeenItemsFile());

  // Judges the feed's current items (identities in the order the view lists
  // them). With Mark::Yes the first `shown` of them count as seen from now on
  // (all of them on the feed's first view); the marks are kept in this object
  // until Commit and already count for its later calls.
  ViewResult View(const std::string &feed, const std::vector<std::string> &identities, Mark mark,
                  std::size_t shown = static_cast<std::size_t>(-1));

  // Writes the marks: the file is read again under the exclusive lock, the
  // marks merged in, the feeds not in `listed` dropped (when given) and the
  // result replaces the file. Nothing is written when nothing changes.
  // Throws EInOutError when the folder or file cannot be written; the marks
  // then stay pending.
  void Commit(const std::optional<std::set<std::string>> &listed = std::nullopt);

  [[nodiscard]] bool HasPendingMarks() const {
    const std::lock_guard lock(mutex_);
    return !pending_.empty();
  }
  [[nodiscard]] const std::string &File() const { return file_; }

  struct FeedState {
    std::vector<std::string> ids; // oldest first
    std::unordered_set<std::string> index;
  };
  using State = std::map<std::string, FeedState>;

  // The file's text as a state; nullopt when it is damaged. Exposed for the
  // fuzz harness.
  static std::optional<State> Parse(std::string_view text);
  static std::string Serialize(const State &state);

private:
  State ReadFile() const;
  static void Touch(FeedState &feed, const std::vector<std::string> &ids);

  std::string file_;
  mutable std::mutex mutex_;
  State snapshot_;
  // Per feed, the identities a view recorded, in order, each once.
  std::map<std::string, std::vector<std::string>> pending_;
};

} // namespace quorvelle::report
