#include "platform/registry/registry_file.h"

#include <charconv>
#include <cstdio>

namespace quorvelle::platform::registry_file {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char &c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

namespace {

std::string TidyPath(std::string_view path) {
  std::string out;
  for (const char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) {
      continue;
    }
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') {
    out.pop_back();
  }
  return out;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (const char c : text) {
    switch (c) {
    case '\\': out += "\\\\"; break;
    case '"': out += "\\\""; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
        char buf[5];
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
        out += buf;
      } else {
        out.push_back(c);
      }
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. False when the string is malformed.
bool ReadQuoted(std::string_view text, std::size_t &pos, std::string &out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= text.size()) return false;
    const char e = text[pos++];
    switch (e) {
    case '\\': out.push_back('\\'); break;
    case '"': out.push_back('"'); break;
    case 'n': out.push_back('\n'); break;
    case 'r': out.push_back('\r'); break;
    case 't': out.push_back('\t'); break;
    case 'x': {
      if (pos + 2 > text.size()) return false;
      const int hi = HexDigit(text[pos]);
      const int lo = HexDigit(text[pos + 1]);
      if (hi < 0 || lo < 0) return false;
      out.push_back(static_cast<char>(hi * 16 + lo));
      pos += 2;
      break;
    }
    default: return false;
    }
  }
  return false;
}

bool ParseValueLine(std::string_view line, Value &value) {
  std::size_t pos = 0;
  if (line.starts_with("@=")) {
    value.name.clear();
    pos = 1;
  } else {
    if (!ReadQuoted(line, pos, value.name)) return false;
    if (pos >= line.size() || line[pos] != '=') return false;
  }
  ++pos; // '='
  const std::string_view rest = line.substr(pos);
  if (rest.starts_with("\"")) {
    std::size_t p = 0;
    value.kind = Value::Kind::String;
    if (!ReadQuoted(rest, p, value.text)) return false;
    return p == rest.size();
  }
  if (rest.starts_with("dword:")) {
    const std::string_view hex = rest.substr(6);
    if (hex.size() != 8) return false;
    std::uint32_t v = 0;
    const auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (ec != std::errc() || ptr != hex.data() + hex.size()) return false;
    value.kind = Value::Kind::Dword;
    value.dword = v;
    return true;
  }
  return false;
}

} // namespace

std::string NormalisePath(std::string_view path) { return LowerAscii(TidyPath(path)); }

Hive Parse(std::string_view text) {
  Hive hive;
  Key *current = nullptr;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.size() < 2 || line.back() != ']') {
        hive.damaged = true;
        current = nullptr;
        continue;
      }
      current = &CreateKey(hive, line.substr(1, line.size() - 2));
      continue;
    }
    Value value;
    if (current == nullptr || !ParseValueLine(line, value)) {
      hive.damaged = true;
      continue;
    }
    if (Value *existing = FindValue(*current, value.name)) {
      *existing = std::move(value);
    } else {
      current->values.push_back(std::move(value));
    }
  }
  return hive;
}

std::string Serialise(const Hive &hive) {
  std::string out = "; Quorvelle registry store\n";
  for (const auto &[lower, key] : hive.keys) {
    out += "\n[" + key.path + "]\n";
    for (const Value &v : key.values) {
      out += v.name.empty() ? std::string("@") : "\"" + Escape(v.name) + "\"";
      out += '=';
      if (v.kind == Value::Kind::String) {
        out += "\"" + Escape(v.text) + "\"\n";
      } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x\n", v.dword);
        out += buf;
      }
    }
  }
  return out;
}

Key *FindKey(Hive &hive, std::string_view path) {
  const auto it = hive.keys.find(NormalisePath(path));
  return it == hive.keys.end() ? nullptr : &it->second;
}

const Key *FindKey(const Hive &hive, std::string_view path) {
  const auto it = hive.keys.find(NormalisePath(path));
  return it == hive.keys.end() ? nullptr : &it->second;
}

Key &CreateKey(Hive &hive, std::string_view path) {
  const std::string tidy = TidyPath(path);
  std::size_t pos = 0;
  Key *key = nullptr;
  while (true) {
    const std::size_t next = tidy.find('\\', pos);
    const std::string prefix = tidy.substr(0, next);
    auto [it, inserted] = hive.keys.try_emplace(LowerAscii(prefix));
    if (inserted) it->second.path = prefix;
    key = &it->second;
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  return *key;
}

Value *FindValue(Key &key, std::string_view name) {
  const std::string lower = LowerAscii(name);
  for (Value &v : key.values) {
    if (LowerAscii(v.name) == lower) return &v;
  }
  return nullptr;
}

const Value *FindValue(const Key &key, std::string_view name) {
  const std::string lower = LowerAscii(name);
  for (const Value &v : key.values) {
    if (LowerAscii(v.name) == lower) return &v;
  }
  return nullptr;
}

} // namespace quorvelle::platform::registry_file
