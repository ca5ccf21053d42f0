// Page text searched for the link element that announces a feed. Inputs are
// capped at 64 KiB: the search is known to be slow on long pages (tracked on
// its own), and the cap keeps the harness looking for other faults.

#include "band/core/feed_discovery.h"
#include "fuzz/fuzz_support.h"

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  fuzz::User();
  const std::string page(reinterpret_cast<const char *>(data), size);
  std::string url = "stale";
  std::string title = "stale";
  FindRSSLinkInPageText(page, url, title);
  // Both are cut from the page, with line breaks made blanks.
  fuzz::Require(url.size() + title.size() <= page.size(), "address and title are taken from the page");
  fuzz::Require(url.find_first_of("\r\n") == std::string::npos && title.find_first_of("\r\n") == std::string::npos,
                "no line break in the address or title");
  return 0;
}
