#include "report/report_files.h"

#include "platform/errors.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace quorvelle::report {

namespace {

struct FileCloser {
  void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};

// Length of the UTF-8 sequence starting at text[i] and its code point; 1 and
// the byte itself for a byte that does not start a valid sequence.
std::size_t NextCodePoint(std::string_view text, std::size_t i, char32_t &cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t len = 1;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    cp = 0xFFFD;
    return 1;
  }
  if (i + len > text.size()) {
    cp = 0xFFFD;
    return 1;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      cp = 0xFFFD;
      return 1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  return len;
}

bool AllowedInXml(char32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

} // namespace

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = NextCodePoint(text, i, cp);
    switch (cp) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&apos;"; break;
    case '\t': out += "&#9;"; break;
    case '\n': out += "&#10;"; break;
    case '\r': out += "&#13;"; break;
    default:
      if (cp == 0xFFFD && len == 1) {
        out += "\xEF\xBF\xBD"; // a byte that is not UTF-8 cannot go into a UTF-8 file
      } else if (AllowedInXml(cp)) {
        out.append(text.substr(i, len));
      }
      break;
    }
    i += len;
  }
  return out;
}

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&#39;"; break;
    default: out += c; break;
    }
  }
  return out;
}

std::string CategoryFolderName(std::string_view decodedName) {
  std::string name(decodedName);
  for (char &c : name) {
    if (c == '/' || c == '\0') {
      c = ' ';
    }
  }
  if (name.empty() || name == "." || name == "..") {
    name.insert(name.begin(), '_');
  }
  return name;
}

void WriteReportFile(const std::string &path, std::string_view bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    throw EInOutError("Cannot create file \"" + path + "\"");
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    throw EInOutError("Cannot write file \"" + path + "\"");
  }
  if (std::fclose(file.release()) != 0) {
    throw EInOutError("Cannot write file \"" + path + "\"");
  }
}

bool CopyReportFile(const std::string &source, const std::string &target) noexcept {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec)) {
    return false;
  }
  std::filesystem::remove(target, ec);
  return std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, ec);
}

} // namespace quorvelle::report
