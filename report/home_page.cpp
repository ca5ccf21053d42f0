// Making the report's start page the browser's home page, and giving the
// previous home page back when the system is removed.

#include "feeds/feed_store.h"

#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "report/empty_list_page.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

namespace quorvelle {

namespace {

platform::RegistryKey OpenSettings() {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  if (!key) {
    throw ERegistryException("Failed to create key " + std::string(kSettingsKey));
  }
  return *std::move(key);
}

} // namespace

void TRSSFeedOptions::SetHomePageToHeaders() {
  Guard("TRSSFeedOptions.SetHomePageToHeaders", [&] {
    const std::string installFolder = platform::IncludeTrailingPathDelimiter(AppPath);
    if (!platform::FileExists(installFolder + "headlines/index.html")) {
      GenerateXML();
      // A list without a feed: the home page is the start page that says how
      // to fill it, not a missing file.
      report::WriteEmptyListPage(*this);
    }
    const std::string address = "file://" + installFolder + "headlines/index.html";
    const std::string current = GetIEHomePage();
    platform::RegistryKey key = OpenSettings();
    // StoredHomePage always names the page to return to. While the report is
    // already the home page there is nothing new to record; otherwise the
    // current home page is the one to return to, replacing an older record.
    const std::string reportAddress = platform::LowerCase(address);
    if (!current.empty() && platform::LowerCase(current) != reportAddress) {
      key.WriteString("StoredHomePage", current);
    } else if (key.ValueExists("StoredHomePage") &&
               platform::LowerCase(key.ReadString("StoredHomePage")) == reportAddress) {
      // A record of the report itself is no page to return to.
      key.DeleteValue("StoredHomePage");
    }
    SetIEHomePage(address);
  });
}

void TRSSFeedOptions::RestoreHomePage() {
  Guard("TRSSFeedOptions.RestoreHomePage", [&] {
    platform::RegistryKey key = OpenSettings();
    if (key.ValueExists("StoredHomePage")) {
      SetIEHomePage(key.ReadString("StoredHomePage"));
    }
  });
}

} // namespace quorvelle
