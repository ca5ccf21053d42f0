#include "support/report_utils.h"

#include "platform/shell/launcher.h"
#include "support/debug_log.h"

namespace quorvelle {

bool FireURL(const std::string &url) {
  bool result = false;
  Guard("ReportUtils.FireURL", [&] {
    // Whether the opener could handle the address is its own business.
    platform::OpenUrlDetached(url);
    result = true;
  });
  return result;
}

} // namespace quorvelle
