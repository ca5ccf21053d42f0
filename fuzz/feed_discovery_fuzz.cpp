// Page text searched for the link elements that announce feeds, resolved
// against a page address: never a blank address, and with a page address
// only http, https and ftp ones. The search is linear, so pages up to 1 MiB
// are taken; larger inputs only slow the fuzzer down.

#include "band/core/feed_discovery.h"
#include "fuzz/fuzz_support.h"

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 1024 * 1024) return 0;
  fuzz::User();
  const std::string page(reinterpret_cast<const char *>(data), size);
  for (const std::string_view address : {std::string_view{}, std::string_view{"http://example.org/a/page.html?q=1"}}) {
    for (const DiscoveredFeed &feed : DiscoverFeeds(page, address)) {
      fuzz::Require(!feed.url.empty(), "a feed offered has an address");
      fuzz::Require(feed.url.find_first_of("\r\n") == std::string::npos &&
                        feed.title.find_first_of("\r\n") == std::string::npos,
                    "no line break in the address or title");
      fuzz::Require(feed.url.find_first_not_of(" \t\f\v") != std::string::npos, "no blank address");
      // Without a page address nothing is resolved: the address is cut from the page.
      if (address.empty()) {
        fuzz::Require(feed.url.size() <= page.size(), "the address is taken from the page");
      } else {
        fuzz::Require(feed.url.starts_with("http://") || feed.url.starts_with("https://") ||
                          feed.url.starts_with("ftp://"),
                      "only http, https and ftp addresses are offered");
      }
    }
  }
  return 0;
}
