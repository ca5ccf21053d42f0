#pragma once
// The feeds a list (or any part of it: a category, a report page's source)
// names, read from its elements.

#include "platform/xml/xml_document.h"

#include <set>
#include <string>
#include <vector>

namespace quorvelle::report {

// The addresses of the enabled feeds under root, in list order, each once.
std::vector<std::string> EnabledFeedAddresses(platform::XmlNode root);
// Every address under root, enabled or not (what the seen state keeps).
std::set<std::string> ListedFeedAddresses(platform::XmlNode root);

} // namespace quorvelle::report
