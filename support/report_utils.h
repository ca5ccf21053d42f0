#pragma once
// ReportUtils: hands an address to the desktop.

#include <string>

namespace quorvelle {

// Asks the desktop to open url in the user's preferred application (see
// platform/shell/launcher.h). The address reaches the opener as one argument,
// never through a shell. True once the opener was asked, whatever it
// answered; false when it could not be asked at all.
bool FireURL(const std::string &url);

} // namespace quorvelle
