// The bytes a feed address answers with, read for the feed's title through
// the substitutable download client. The title is valid UTF-8 and capped,
// and comes with no reason, or with a document's reason without one.

#include "feeds/feed_store.h"
#include "fuzz/fuzz_support.h"
#include "platform/inet/inet_client.h"
#include "report/feed_titles.h"

using namespace quorvelle;

namespace {
class CannedInet final : public platform::InetClient {
public:
  std::string GetInetFileToString(const std::string & /*url*/) override { return body; }
  platform::FetchResult FetchBytes(const std::string & /*url*/) override { return {platform::FetchStatus::Ok, body}; }
  std::string body;
};

// Well-formed sequences only (no overlong forms, surrogates or values above U+10FFFF).
bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t more = 0;
    char32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      more = 1, value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2, value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3, value = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= more) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      value = (value << 6) | (t & 0x3F);
    }
    if ((more == 2 && value < 0x800) || (more == 3 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF))
      return false;
    i += more + 1;
  }
  return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::User();
  static CannedInet inet;
  static TRSSFeedOptions store;
  platform::InstallInet(&inet);
  inet.body.assign(reinterpret_cast<const char *>(data), size);
  std::string title;
  store.GetFeedTitleFromURL("http://feeds.example/feed.xml", title);
  fuzz::Require(title.size() <= 64 * 1024, "a title is at most 64 KiB");
  fuzz::Require(ValidUtf8(title), "a title is valid UTF-8");
  // A title read, or the reason why none was: a document's, not a download's.
  const FeedTitle read = ReadFeedTitle(inet.body);
  fuzz::Require(read.title == title, "the bytes read alone give the same title");
  fuzz::Require(read.title.empty() == (read.problem != TitleProblem::None), "a title or a reason, not both");
  fuzz::Require(read.title.empty() ? read.problem == TitleProblem::NotAFeed || read.problem == TitleProblem::NoTitle
                                   : true,
                "a document is no feed or a feed without a title");
  return 0;
}
