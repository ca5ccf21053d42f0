#include "fuzz/fuzz_support.h"

#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "platform/ui/user_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>
#include <unordered_set>

namespace quorvelle::fuzz {
namespace fs = std::filesystem;
namespace {

// Answers every message with its default and cancels every prompt, silently.
class SilentUi final : public platform::ui::UserInterface {
public:
  platform::ui::ModalResult ShowMessage(const platform::ui::MessageRequest &request) override {
    return request.defaultButton;
  }
  bool InputQuery(const std::string &, const std::string &, std::string &) override { return false; }
  std::optional<platform::ui::FileDialogResult> ShowFileDialog(const platform::ui::FileDialogRequest &) override {
    return std::nullopt;
  }
};

struct Owner {
  FuzzUser user;
  SilentUi ui;
  Owner() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quorvelle-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    user.home = pattern;
    user.dataFolder = user.home + "/.local/share/Quorvelle/";
    user.registryDir = user.home + "/registry";
    user.scratchDir = user.home + "/scratch";
    fs::create_directories(user.home + "/tmp");
    fs::create_directories(user.scratchDir);
    ::setenv("HOME", user.home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (user.home + "/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (user.home + "/.local/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (user.home + "/.local/state").c_str(), 1);
    ::setenv("TMPDIR", (user.home + "/tmp").c_str(), 1);
    ::setenv("QUORVELLE_REGISTRY", user.registryDir.c_str(), 1);
    // The import's stylesheets come from the installation folder (AppPath).
    const std::string app = user.home + "/app/";
    fs::create_directories(app);
    for (const char *name : {"FeedsToOPML.xsl", "OpmlToFeeds.xsl"}) {
      fs::copy_file(std::string(QUORVELLE_SOURCE_DIR) + "/data/" + name, app + name);
    }
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    if (!key) throw std::runtime_error("cannot create the settings key");
    key->WriteString("AppPath", app);
    key->WriteBool("DebugMode", false);
    platform::ui::InstallUi(&ui);
  }
  ~Owner() {
    platform::ui::InstallUi(nullptr);
    std::error_code ec;
    fs::remove_all(user.home, ec);
  }
};

Owner &TheOwner() {
  static Owner owner;
  return owner;
}

void CensusBelow(xmlNodePtr node, FeedCensus &census) {
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (xmlStrEqual(child->name, BAD_CAST "Quorvelle_Feed")) {
      ++census.feeds;
      platform::XmlNode feed(nullptr, child);
      std::string src = feed.FindAttribute("src").value_or("");
      std::transform(src.begin(), src.end(), src.begin(), [](unsigned char c) { return std::tolower(c); });
      census.sources.push_back(std::move(src));
    }
    CensusBelow(child, census);
  }
}

} // namespace

const FuzzUser &User() { return TheOwner().user; }

void ResetFiles() {
  const FuzzUser &user = User();
  std::error_code ec;
  fs::remove_all(user.dataFolder, ec);
  fs::remove_all(user.scratchDir, ec);
  fs::create_directories(user.dataFolder, ec);
  fs::create_directories(user.scratchDir, ec);
}

void WriteBytes(const std::string &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool FeedCensus::HasDuplicateSource() const {
  std::unordered_set<std::string> seen;
  for (const std::string &src : sources) {
    if (!seen.insert(src).second) return true;
  }
  return false;
}

FeedCensus Census(platform::XmlDocument &doc) {
  FeedCensus census;
  if (doc.HasRoot()) CensusBelow(reinterpret_cast<xmlNodePtr>(doc.Raw()), census);
  return census;
}

void Require(bool holds, const char *what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property violated: %s\n", what);
  // abort() skips the static destructors: the user's folder goes first.
  std::error_code ec;
  fs::remove_all(TheOwner().user.home, ec);
  std::abort();
}

} // namespace quorvelle::fuzz
