#pragma once
// Shared set-up for the report tests: an isolated user, an installation
// folder holding the shipped data files, and a store over a given list.

#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"
#include "tests/helpers/test_environment.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvelle::test {

// Turns the diagnostic log on for its lifetime and removes DEBUG.LOG after.
class ReportDebugLog {
public:
  ReportDebugLog() : existed_(PathExists(DebugM::LogFileName())) {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    key->WriteBool("DebugMode", true);
    DebugM::Initialization();
  }
  ~ReportDebugLog() {
    DebugM::Finalization();
    if (!existed_) {
      std::remove(DebugM::LogFileName().c_str());
    }
  }
  ReportDebugLog(const ReportDebugLog &) = delete;
  ReportDebugLog &operator=(const ReportDebugLog &) = delete;
  [[nodiscard]] static std::string Log() {
    return PathExists(DebugM::LogFileName()) ? ReadFile(DebugM::LogFileName()) : "";
  }

private:
  bool existed_;
};

class ReportInstall {
public:
  ReportInstall() {
    install_ = dir_.Path() + "/install/";
    std::filesystem::create_directories(install_);
    std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install_,
                          std::filesystem::copy_options::recursive);
    store.AppPath = install_;
  }
  // Replaces the store's document with the text.
  void UseList(const std::string &xml) { store.FXMLDoc->LoadXML(xml); }
  [[nodiscard]] const std::string &Install() const { return install_; }
  [[nodiscard]] std::string Report() const { return install_ + "headlines/"; }
  [[nodiscard]] std::string Temp() const { return dir_.Path(); }

  // Relative paths of every file and folder below the report folder, sorted.
  [[nodiscard]] std::vector<std::string> ReportEntries() const {
    std::vector<std::string> out;
    if (!std::filesystem::is_directory(Report())) {
      return out;
    }
    for (const auto &entry : std::filesystem::recursive_directory_iterator(Report())) {
      out.push_back(std::filesystem::relative(entry.path(), Report()).string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  IsolatedUser user;
  TRSSFeedOptions store;

private:
  TempDir dir_;
  std::string install_;
};

} // namespace quorvelle::test
