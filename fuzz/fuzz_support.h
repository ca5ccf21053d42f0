#pragma once
// Shared set-up of the fuzz harnesses: one isolated user per process (own
// HOME, XDG folders, registry store and temporary folder, removed at exit),
// the installation's two conversion stylesheets, no dialogs and no network.
// Every harness defines LLVMFuzzerTestOneInput; the same source builds as a
// libFuzzer target or, with replay_main.cpp, as a program that replays the
// files and folders named on its command line.

#include "platform/xml/xml_document.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::fuzz {

// The isolated user, created on first use.
struct FuzzUser {
  std::string home;        // without trailing '/'
  std::string dataFolder;  // where Feeds.xml lives, with trailing '/'
  std::string registryDir; // the registry store's folder
  std::string scratchDir;  // free for the harness's own files, emptied by ResetScratch
};
const FuzzUser &User();

// Removes the feed list (and anything kept aside) and the scratch files, so
// one input never sees what an earlier one left.
void ResetFiles();

void WriteBytes(const std::string &path, std::string_view bytes);
std::optional<std::string> ReadBytes(const std::string &path);

// Every Quorvelle_Feed element of the document: the number of them and their
// lower-cased addresses, in document order.
struct FeedCensus {
  std::size_t feeds = 0;
  std::vector<std::string> sources;
  [[nodiscard]] bool HasDuplicateSource() const;
};
FeedCensus Census(platform::XmlDocument &doc);

// Aborts with the message when the property does not hold: libFuzzer keeps the
// input, the replay program fails its test.
void Require(bool holds, const char *what);

} // namespace quorvelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
