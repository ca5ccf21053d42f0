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
  json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) return ProtocolError{"bad-json", "The message is not JSON text."};
  if (!message.is_object()) return ProtocolError{"bad-request", "The message is not a JSON object."};
  // The id first, so that every later complaint names its request.
  Request request;
  const auto id = message.find("id");
  if (id == message.end() || !(id->is_number_integer() || id->is_string()))
    return ProtocolError{"bad-request", "The message has no \"id\" (an integer or a string)."};
  request.id = *id;
  const auto refuse = [&](const char *code, const char *text) {
    return ProtocolError{code, text, request.id, request.version};
  };
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
    request.args = *args;
  } else {
    return refuse("bad-request", "\"args\" must be an object.");
  }
  return request;
}

std::string OkAnswer(const json &id, const json &result, int version) {
  return Dump(json{{"v", version}, {"id", id}, {"ok", true}, {"result", result}});
}

std::string ErrorAnswer(const json &id, const ProtocolError &error) {
  return Dump(json{
      {"v", error.version}, {"id", id}, {"ok", false}, {"error", {{"code", error.code}, {"message", error.message}}}});
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
