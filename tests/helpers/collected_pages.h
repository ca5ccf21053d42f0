#pragma once
// The feeds each collected page (tests/data/realworld/pages/) announces, as
// discovery offers them: the expressions' finds first, then every other feed
// link in document order. "@" at the start of an address stands for the
// origin of the address the page was read from. Both the browser host's and
// the native host's tests check discovery against this one table.

#include "band/core/feed_discovery.h"

#include <string>
#include <vector>

namespace quorvelle::test {

struct CollectedPage {
  const char *file;
  std::vector<DiscoveredFeed> feeds;
};

inline const std::vector<CollectedPage> &CollectedPages() {
  static const std::vector<CollectedPage> pages = {
      {"kde-planet-gentoo-head.html",
       {{"https://planet.gentoo.org/rss20.xml", "Planet Gentoo"},
        {"https://planet.gentoo.org/universe/rss20.xml", "Gentoo Universe"},
        {"https://planet.gentoo.org/atom.xml", "Planet Gentoo"},
        {"https://planet.gentoo.org/universe/atom.xml", "Gentoo Universe"}}},
      {"kde-youtube-channel-head.html",
       {{"https://www.youtube.com/feeds/videos.xml?channel_id=UCtM5z2gkrGRuWd0JQMx76qA", "RSS"}}},
      {"nnw-indiestack-head.html", {{"http://indiestack.com/feed/", "Indie Stack \xC2\xBB Feed"}}},
      {"nnw-inessential-head.html", {{"https://inessential.com/xml/rss.xml", "inessential.com RSS feed"}}},
      // An rss+xml link without a title.
      {"nnw-scripting-head.html", {{"http://scripting.com/rss.xml", ""}}},
      {"readability-blogger-head.html",
       {{"http://siliconexposed.blogspot.com/feeds/posts/default?alt=rss", "Silicon Exposed - RSS"},
        {"http://siliconexposed.blogspot.com/feeds/posts/default", "Silicon Exposed - Atom"},
        {"http://siliconexposed.blogspot.com/feeds/932306423056216142/comments/default", "Silicon Exposed - Atom"}}},
      // rss+xml links with href before rel; the same address twice is offered once.
      {"readability-ebb-org-head.html",
       {{"http://ebb.org/bkuhn/rss.xml", "Whole Website RSS for Bradley M. Kuhn"},
        {"http://ebb.org/bkuhn/blog/rss.xml", "Blog RSS for Bradley M. Kuhn"}}},
      {"readability-heise-head.html",
       {{"http://www.heise.de/mac-and-i/news-atom.xml", "Aktuelle News von Mac & i"},
        {"http://www.heise.de/mac-and-i/news.rdf", "Aktuelle News von Mac & i (f\xC3\xBCr \xC3\xA4ltere RSS-Reader)"}}},
      {"readability-pixnet-head.html",
       {{"http://feed.pixnet.net/blog/posts/rss/stevenhgm", "RSS 2.0"},
        {"http://feed.pixnet.net/blog/posts/atom/stevenhgm", "Atom 1.0"}}},
      {"readability-v8-blog-head.html",
       {{"@/blog.atom", "V8 Atom feed"}, {"@/features.atom", "V8 JS/Wasm features Atom feed"}}},
  };
  return pages;
}

// The page's expected feeds with "@" replaced by origin ("http://127.0.0.1:port").
inline std::vector<DiscoveredFeed> ExpectedFeeds(const CollectedPage &page, const std::string &origin) {
  std::vector<DiscoveredFeed> feeds = page.feeds;
  for (DiscoveredFeed &feed : feeds) {
    if (feed.url.starts_with("@")) feed.url = origin + feed.url.substr(1);
  }
  return feeds;
}

} // namespace quorvelle::test
