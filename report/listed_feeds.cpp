#include "report/listed_feeds.h"

#include "feeds/feed_lists.h"

#include <functional>
#include <optional>

namespace quorvelle::report {
namespace {

void Walk(platform::XmlNode node, bool enabledOnly, const std::function<void(const std::string &)> &found) {
  for (platform::XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (feedlist::IsElementNamed(child.Raw(), kFeedElement)) {
      const std::optional<std::string> src = child.FindAttribute("src");
      if (src && !src->empty() && (!enabledOnly || child.FindAttribute("enabled").value_or("") == "true")) found(*src);
    } else if (child.IsElement()) {
      Walk(child, enabledOnly, found);
    }
  }
}

} // namespace

std::vector<std::string> EnabledFeedAddresses(platform::XmlNode root) {
  std::vector<std::string> out;
  std::set<std::string> once;
  Walk(root, true, [&](const std::string &src) {
    if (once.insert(src).second) out.push_back(src);
  });
  return out;
}

std::set<std::string> ListedFeedAddresses(platform::XmlNode root) {
  std::set<std::string> out;
  Walk(root, false, [&](const std::string &src) { out.insert(src); });
  return out;
}

} // namespace quorvelle::report
