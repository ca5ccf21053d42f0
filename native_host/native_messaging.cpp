#include "native_host/native_messaging.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace quorvelle::native_host {
namespace {

using nlohmann::json;

// Reads exactly size bytes; false at end of input or on an error.
bool ReadExactly(int fd, char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Skip(int fd, std::uint64_t size) {
  std::array<char, 65536> sink{};
  while (size > 0) {
    const std::size_t chunk = size < sink.size() ? static_cast<std::size_t>(size) : sink.size();
    if (!ReadExactly(fd, sink.data(), chunk)) return false;
    size -= chunk;
  }
  return true;
}

bool WriteAll(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string Dump(const json &value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// Whether an id may be repeated in an answer.
bool Repeatable(const json &id) {
  return id.is_null() || id.is_number_integer() ||
         (id.is_string() && id.get_ref<const std::string &>().size() <= kMaxIdBytes);
}

} // namespace

Frame ReadFrame(int fd) {
  Frame frame;
  std::uint32_t length = 0;
  if (!ReadExactly(fd, reinterpret_cast<char *>(&length), sizeof length)) return frame;
  if (length == 0) {
    frame.status = FrameStatus::Refused;
    frame.error = {"bad-length", "The message is empty."};
    return frame;
  }
  if (length > kMaxMessageBytes) {
    if (!Skip(fd, length)) return frame;
    frame.status = FrameStatus::Refused;
    frame.error = {"too-large", "The message is larger than 1 MiB."};
    return frame;
  }
  frame.body.resize(length);
  if (!ReadExactly(fd, frame.body.data(), length)) {
    frame.body.clear();
    return frame;
  }
  frame.status = FrameStatus::Message;
  return frame;
}

bool WriteFrame(int fd, std::string_view body) {
  if (body.size() > kMaxMessageBytes) return false;
  const auto length = static_cast<std::uint32_t>(body.size());
  return WriteAll(fd, reinterpret_cast<const char *>(&length), sizeof length) && WriteAll(fd, body.data(), body.size());
}

std::variant<Request, ProtocolError> ParseRequest(std::string_view body) {
  // An object or array nested too deep is dropped while it is read (with
  // everything inside it), so nothing deep is ever built; the message is
  // then refused below.
  bool tooDeep = false;
  const json::parser_callback_t depthLimit = [&tooDeep](int depth, json::parse_event_t event, json & /*value*/) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= kMaxNesting) {
      tooDeep = true;
      return false;
    }
    return true;
  };
  json message = json::parse(body, depthLimit, false);
  if (message.is_discarded() && !tooDeep) return ProtocolError{"bad-json", "The message is not JSON text."};
  if (!message.is_object()) return ProtocolError{"bad-request", "The message is not a JSON object."};
  // The id first, so that every later complaint names its request.
  Request request;
  const auto id = message.find("id");
  if (id == message.end() || !(id->is_number_integer() || id->is_string()))
    return ProtocolError{"bad-request", "The message has no \"id\" (an integer or a string)."};
  if (!Repeatable(*id)) return ProtocolError{"bad-request", "The message's \"id\" is longer than 256 bytes."};
  request.id = std::move(*id);
  const auto refuse = [&](const char *code, const char *text) {
    return ProtocolError{code, text, request.id, request.version};
  };
  if (tooDeep) return refuse("bad-request", "The message is nested deeper than 64 levels.");
  const auto version = message.find("v");
  if (version == message.end() || !version->is_number_integer())
    return refuse("bad-request", "The message has no protocol version \"v\".");
  if (*version < kProtocolVersion || *version > kLatestProtocolVersion)
    return refuse("unsupported-version", "This host speaks protocol versions 1 and 2.");
  request.version = version->get<int>();
  const auto command = message.find("command");
  if (command == message.end() || !command->is_string())
    return refuse("bad-request", "The message has no \"command\" string.");
  request.command = command->get<std::string>();
  const auto args = message.find("args");
  if (args == message.end() || args->is_null()) {
    request.args = json::object();
  } else if (args->is_object()) {
    request.args = std::move(*args);
  } else {
    return refuse("bad-request", "\"args\" must be an object.");
  }
  return request;
}

std::string OkAnswer(const json &id, const json &result, int version) {
  std::string answer = Dump(json{{"v", version}, {"id", id}, {"ok", true}, {"result", result}});
  if (answer.size() <= kMaxMessageBytes) return answer;
  return ErrorAnswer(id, {"too-large", "The answer would be larger than the browser accepts (1 MiB).", id, version});
}

std::string ErrorAnswer(const json &id, const ProtocolError &error) {
  return Dump(json{
      {"v", error.version},
      {"id", Repeatable(id) ? id : json(nullptr)},
      {"ok", false},
      {"error", {{"code", Echo(error.code, kMaxEchoBytes)}, {"message", Echo(error.message, kMaxErrorMessageBytes)}}}});
}

std::string Echo(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  constexpr std::string_view kCut = "...";
  std::size_t end = maxBytes > kCut.size() ? maxBytes - kCut.size() : 0;
  // Back to the first byte of a character (not a UTF-8 continuation byte).
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U)
    --end;
  return std::string(text.substr(0, end)) + std::string(kCut);
}

std::string StringArg(const json &args, const char *name, const std::string &fallback) {
  const auto it = args.find(name);
  if (it == args.end() || it->is_null()) return fallback;
  if (!it->is_string()) throw ProtocolError{"bad-argument", std::string("\"") + name + "\" must be a string."};
  return it->get<std::string>();
}

std::string RequiredStringArg(const json &args, const char *name) {
  const auto it = args.find(name);
  if (it == args.end() || !it->is_string())
    throw ProtocolError{"bad-argument", std::string("\"") + name + "\" (a string) is required."};
  return it->get<std::string>();
}

bool BoolArg(const json &args, const char *name, bool fallback) {
  const auto it = args.find(name);
  if (it == args.end() || it->is_null()) return fallback;
  if (!it->is_boolean()) throw ProtocolError{"bad-argument", std::string("\"") + name + "\" must be true or false."};
  return it->get<bool>();
}

} // namespace quorvelle::native_host
