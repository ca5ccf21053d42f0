#include "tests/helpers/loopback_http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvelle::test {
namespace {

constexpr auto kRequestTimeout = std::chrono::seconds(5);

const char *ReasonPhrase(int status) {
  switch (status) {
  case 200: return "OK";
  case 301: return "Moved Permanently";
  case 302: return "Found";
  case 303: return "See Other";
  case 307: return "Temporary Redirect";
  case 308: return "Permanent Redirect";
  case 400: return "Bad Request";
  case 403: return "Forbidden";
  case 404: return "Not Found";
  case 500: return "Internal Server Error";
  case 503: return "Service Unavailable";
  default: return "Status";
  }
}

bool SendAll(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("loopback server: socket failed");
  const int yes = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
      ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  const char wake = 'x';
  [[maybe_unused]] const ssize_t written = ::write(wakeFds_[1], &wake, 1);
  acceptThread_.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections.swap(connections_);
  }
  for (std::thread &connection : connections) {
    connection.join();
  }
  ::close(listenFd_);
  ::close(wakeFds_[0]);
  ::close(wakeFds_[1]);
}

void LoopbackHttpServer::Route(const std::string &path, HttpResponse response) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(response);
}

void LoopbackHttpServer::RouteFile(const std::string &path, const std::string &filePath,
                                   const std::string &contentType) {
  std::ifstream in(filePath, std::ios::binary);
  if (!in) throw std::runtime_error("loopback server: cannot read " + filePath);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  Route(path, HttpResponse{200, contentType, bytes.str()});
}

std::string LoopbackHttpServer::Url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::size_t LoopbackHttpServer::RequestCount(const std::string &path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = counts_.find(path);
  return it == counts_.end() ? 0 : it->second;
}

std::string LoopbackHttpServer::LastRequestHead(const std::string &path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = lastHeads_.find(path);
  return it == lastHeads_.end() ? std::string() : it->second;
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[1].revents & POLLIN) != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

bool LoopbackHttpServer::Pause(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stopSignal_.wait_for(lock, time, [this] { return stopping_.load(); });
}

void LoopbackHttpServer::Serve(int fd) {
  // Read the request head.
  std::string request;
  const auto giveUp = std::chrono::steady_clock::now() + kRequestTimeout;
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (stopping_ || std::chrono::steady_clock::now() > giveUp || request.size() > 65536) {
      ::close(fd);
      return;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      ::close(fd);
      return;
    }
    request.append(buffer, static_cast<std::size_t>(got));
  }
  const std::string head = request.substr(0, request.find("\r\n\r\n"));
  const std::string requestLine = head.substr(0, head.find("\r\n"));
  const std::size_t methodEnd = requestLine.find(' ');
  const std::size_t targetEnd = requestLine.find(' ', methodEnd + 1);
  const std::string method = requestLine.substr(0, methodEnd);
  std::string target =
      methodEnd == std::string::npos ? std::string() : requestLine.substr(methodEnd + 1, targetEnd - methodEnd - 1);

  HttpResponse response{404, "text/plain", "Not Found"};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routes_.find(target);
    if (it == routes_.end()) {
      target = target.substr(0, target.find('?'));
      it = routes_.find(target);
    }
    if (it != routes_.end()) response = it->second;
    ++counts_[target];
    lastHeads_[target] = head;
  }

  if (!response.closeWithoutAnswer) {
    std::string answer = "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty()) answer += "Content-Type: " + response.contentType + "\r\n";
    if (!response.omitContentLength) answer += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    if (!response.location.empty()) answer += "Location: " + response.location + "\r\n";
    for (const auto &[name, value] : response.headers) {
      answer += name + ": " + value + "\r\n";
    }
    answer += "Connection: close\r\n\r\n";
    const bool withBody = method != "HEAD";
    if (response.chunkSize == 0) {
      if (withBody) answer += response.body;
      SendAll(fd, answer.data(), answer.size());
    } else if (SendAll(fd, answer.data(), answer.size()) && withBody) {
      for (std::size_t pos = 0; pos < response.body.size(); pos += response.chunkSize) {
        if (!Pause(response.chunkDelay)) break;
        const std::size_t size = std::min(response.chunkSize, response.body.size() - pos);
        if (!SendAll(fd, response.body.data() + pos, size)) break;
      }
    }
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

} // namespace quorvelle::test
