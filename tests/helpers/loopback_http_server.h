#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests: an ephemeral port, routes
// set per test, one request per connection, each connection served on its
// own thread (so a slow answer does not hold up the others).
//
//   LoopbackHttpServer server;
//   server.Route("/a.xml", {200, "application/xml", body});
//   GetInetFileToString(server.Url("/a.xml"));

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorvelle::test {

struct HttpResponse {
  // {status, contentType, body}; the other members are set afterwards.
  HttpResponse(int statusCode = 200, std::string type = {}, std::string content = {})
      : status(statusCode), contentType(std::move(type)), body(std::move(content)) {}

  int status = 200;
  std::string contentType;
  std::string body;
  // Extra header lines, sent as "name: value".
  std::vector<std::pair<std::string, std::string>> headers;
  // Sent as the Location header (give a 3xx status with it).
  std::string location;
  // When chunkSize > 0, the body goes out in pieces of that many bytes, with
  // chunkDelay before each piece.
  std::size_t chunkSize = 0;
  std::chrono::milliseconds chunkDelay{0};
  // The request is read and the connection closed without a byte of answer.
  bool closeWithoutAnswer = false;
  // No Content-Length: the end of the body is the end of the connection.
  bool omitContentLength = false;
};

class LoopbackHttpServer {
public:
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer &) = delete;
  LoopbackHttpServer &operator=(const LoopbackHttpServer &) = delete;

  // Answers requests for path (matched with its query first, then without).
  // Paths without a route get 404.
  void Route(const std::string &path, HttpResponse response);
  // Serves a file's bytes (read now) with status 200.
  void RouteFile(const std::string &path, const std::string &filePath, const std::string &contentType);

  [[nodiscard]] int Port() const { return port_; }
  // "http://127.0.0.1:PORT" + path.
  [[nodiscard]] std::string Url(const std::string &path) const;

  // How many requests arrived for path (as routed), and the raw head (request
  // line and headers) of the last one.
  [[nodiscard]] std::size_t RequestCount(const std::string &path) const;
  [[nodiscard]] std::string LastRequestHead(const std::string &path) const;

private:
  void AcceptLoop();
  void Serve(int fd);
  // Sleeps for the time unless the server is stopping; false when stopping.
  bool Pause(std::chrono::milliseconds time);

  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable stopSignal_;
  std::map<std::string, HttpResponse> routes_;
  std::map<std::string, std::size_t> counts_;
  std::map<std::string, std::string> lastHeads_;
  std::vector<std::thread> connections_;
  std::thread acceptThread_;
};

} // namespace quorvelle::test
