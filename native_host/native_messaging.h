#pragma once
// The native messaging protocol between the browser extension and
// quorvelle-native-host: every message is a 32-bit length in the machine's
// byte order followed by that many bytes of UTF-8 JSON. Each request gets
// exactly one answer, a version 2 report request its answer in parts
// (report_stream.h).
//
//   request: {"v": 1|2, "id": <integer|string>, "command": "<name>", "args": {...}}
//   answer:  {"v": <same>, "id": <same>, "ok": true, "result": ...}
//        or  {"v": <same>, "id": <same or null>, "ok": false,
//             "error": {"code": "<code>", "message": "<text>"}}
//
// Nothing in a request is trusted: a frame with a bad length, a body that is
// not JSON or not a request of this version, nested deeper than
// kMaxNesting or with an id longer than kMaxIdBytes gets an error answer and
// is never handed on. An answer never exceeds kMaxMessageBytes: values a
// message repeats from its request are cut (Echo), and an answer that would
// still be larger becomes a "too-large" error answer.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quorvelle::native_host {

// Version 1 answers in order; version 2 answers as soon as it can (each
// answer names its request) and sends a report in parts.
inline constexpr int kProtocolVersion = 1;
inline constexpr int kLatestProtocolVersion = 2;
// Larger requests are read past and refused; the browser itself refuses
// answers above this size.
inline constexpr std::uint32_t kMaxMessageBytes = 1024U * 1024U;
// Objects and arrays within one another, the message itself included. The
// depth is checked while the text is read, before anything walks the value.
inline constexpr int kMaxNesting = 64;
// A string id longer than this is refused (and not repeated in the answer).
inline constexpr std::size_t kMaxIdBytes = 256;
// How much of a request's value an error message repeats.
inline constexpr std::size_t kMaxEchoBytes = 200;
// How long an error message may be.
inline constexpr std::size_t kMaxErrorMessageBytes = 4096;

// An answer that says what was wrong with a request.
struct ProtocolError {
  std::string code;
  std::string message;
  // The request's id when it could be read, else null.
  nlohmann::json id = nullptr;
  // The request's protocol version when it could be read.
  int version = kProtocolVersion;
};

struct Request {
  int version = kProtocolVersion;
  nlohmann::json id;
  std::string command;
  nlohmann::json args; // always an object
};

enum class FrameStatus { Message, End, Refused };

struct Frame {
  FrameStatus status = FrameStatus::End;
  std::string body;    // Message only
  ProtocolError error; // Refused only
};

// Reads the next frame from fd. End: the input closed (before or inside a
// frame). Refused: an empty or oversized frame, whose bytes have been read
// past so the next frame starts where it should.
Frame ReadFrame(int fd);

// Writes one frame; false when the output is gone.
bool WriteFrame(int fd, std::string_view body);

// The request in body, or what is wrong with it.
std::variant<Request, ProtocolError> ParseRequest(std::string_view body);

// Answers as serialised JSON text (UTF-8; invalid bytes replaced). An error
// answer always fits kMaxMessageBytes (its message is cut, an overlong id is
// left out); an ok answer that would not fit becomes a "too-large" error.
std::string OkAnswer(const nlohmann::json &id, const nlohmann::json &result, int version = kProtocolVersion);
std::string ErrorAnswer(const nlohmann::json &id, const ProtocolError &error);

// A request's text as an error message repeats it: at most maxBytes bytes,
// cut at a character boundary and marked with "..." when cut.
std::string Echo(std::string_view text, std::size_t maxBytes = kMaxEchoBytes);

// Argument readers: the value of a member of args of the expected type, or
// the fallback when it is missing. A member of another type throws
// ProtocolError {"bad-argument"}.
std::string StringArg(const nlohmann::json &args, const char *name, const std::string &fallback);
std::string RequiredStringArg(const nlohmann::json &args, const char *name);
bool BoolArg(const nlohmann::json &args, const char *name, bool fallback);

} // namespace quorvelle::native_host
