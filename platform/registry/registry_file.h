#pragma once
// The text form of one root key's file and its in-memory model.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::platform::registry_file {

struct Value {
  enum class Kind { String, Dword };
  std::string name; // "" is the default value
  Kind kind = Kind::String;
  std::string text;
  std::uint32_t dword = 0;
};

struct Key {
  std::string path; // as first written, backslash separated
  std::vector<Value> values;
};

struct Hive {
  std::map<std::string, Key> keys; // by lower-cased path
  bool damaged = false;            // lines that could not be read were dropped
};

// Lower-cased, backslash-normalised path used as the map key.
std::string NormalisePath(std::string_view path);
std::string LowerAscii(std::string_view text);

Hive Parse(std::string_view text);
std::string Serialise(const Hive &hive);

Key *FindKey(Hive &hive, std::string_view path);
const Key *FindKey(const Hive &hive, std::string_view path);
// Creates the key and every missing parent.
Key &CreateKey(Hive &hive, std::string_view path);
Value *FindValue(Key &key, std::string_view name);
const Value *FindValue(const Key &key, std::string_view name);

} // namespace quorvelle::platform::registry_file
