#pragma once
// The commands of the quorvelle program. Each returns its exit status
// (cli_support.h) and prints its result on standard output, its messages on
// standard error. Editing commands reload the list before they change it and
// save it only when they succeed.

#include <optional>
#include <string>

namespace quorvelle::cli {

int ListFeeds(const std::optional<std::string> &category, bool json);
int ListCategories(bool json);

struct AddOptions {
  std::string url;
  std::optional<std::string> title;
  std::string category;
  bool noFetch = false;
};
int AddFeed(const AddOptions &options);
int RemoveFeed(const std::string &url);
int EnableFeed(const std::string &url, bool enabled);
int MoveFeed(const std::string &url, const std::string &target);

int AddCategory(const std::string &name);
int RenameCategory(const std::string &oldName, const std::string &newName);
int RemoveCategory(const std::string &name);

// source: a file, "-" for standard input (an OPML list) or an http, https or
// ftp address (an OPML list to download).
int Import(const std::string &source, const std::optional<std::string> &category);
// target: a file or "-" for standard output; format: "opml", "xml" or "" (by
// the file's extension).
int Export(const std::string &target, const std::optional<std::string> &category, const std::string &format);

int Report(bool open);
int Discover(const std::string &url, bool json);
int Title(const std::string &url);
int Check(bool json);
// Every enabled feed (of category, else of the whole list) fetched side by
// side and printed as it arrives: its title and headlines (at most limit
// each when limit > 0); a failed feed's text on standard error; 1 when any
// feed failed. json: one JSON object per feed and line.
// Every run is a view: the headlines it prints count as seen from then on.
// With NewMarked only those no earlier view showed are printed (a feed
// without any is left out, so nothing new prints nothing); NewPeek prints the
// same and records nothing.
enum class HeadlinesShown { All, NewMarked, NewPeek };
int Headlines(const std::optional<std::string> &category, int limit, bool json,
              HeadlinesShown shown = HeadlinesShown::All);

} // namespace quorvelle::cli
