// A registry store file as found on disk: parsed, written back by a change,
// and read again. Reading its own output gives the same keys and values, and
// a change through the store loses nothing the file held.

#include "fuzz/fuzz_support.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_file.h"

#include <filesystem>

using namespace quorvelle;
namespace rf = platform::registry_file;

namespace {
bool SameValues(const rf::Key &a, const rf::Key &b) {
  if (a.values.size() != b.values.size()) return false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const rf::Value &x = a.values[i];
    const rf::Value &y = b.values[i];
    if (x.name != y.name || x.kind != y.kind || x.text != y.text || x.dword != y.dword) return false;
  }
  return true;
}

// Every key and value of before is in after (after may hold more).
// The values of changedKey (when given) may differ.
bool Contains(const rf::Hive &after, const rf::Hive &before, const char *changedKey) {
  for (const auto &[path, key] : before.keys) {
    const rf::Key *other = rf::FindKey(after, key.path);
    if (other == nullptr) return false;
    if (changedKey != nullptr && path == rf::NormalisePath(changedKey)) continue;
    if (!SameValues(key, *other)) return false;
  }
  return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const fuzz::FuzzUser &user = fuzz::User();
  const std::string_view text(reinterpret_cast<const char *>(data), size);

  // The text form on its own: parse, write, parse again.
  const rf::Hive first = rf::Parse(text);
  const std::string written = rf::Serialise(first);
  const rf::Hive second = rf::Parse(written);
  fuzz::Require(!second.damaged, "the store reads its own file without dropping lines");
  fuzz::Require(rf::Serialise(second) == written, "the store's file reads back as written");
  fuzz::Require(first.keys.size() == second.keys.size() && Contains(second, first, nullptr),
                "the store's file keeps every key and value");

  // Through the store: the file in the store folder, one value written; the
  // rewritten file holds everything the first one did.
  const std::string name = platform::RootKeyName(platform::HKEY_LOCAL_MACHINE);
  const std::string file = user.registryDir + "/" + name + ".reg";
  fuzz::WriteBytes(file, text);
  constexpr const char *kPath = "Software\\Fuzz\\Written";
  constexpr const char *kValue = "written \"by\" the harness\\";
  if (auto key = platform::RegistryKey::Open(platform::HKEY_LOCAL_MACHINE, kPath, true)) {
    key->WriteString("Value", kValue);
    fuzz::Require(key->ReadString("Value") == kValue, "a written value reads back");
    const std::optional<std::string> bytes = fuzz::ReadBytes(file);
    fuzz::Require(bytes.has_value(), "the store's file is still there");
    fuzz::Require(Contains(rf::Parse(*bytes), first, kPath), "a change keeps every other key and value");
  }
  // The file and any damaged copy kept aside.
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(user.registryDir, ec)) {
    if (entry.path().filename().string().starts_with(name)) std::filesystem::remove(entry.path(), ec);
  }
  return 0;
}
