#pragma once
// What the server tests share: a site folder made in a temporary place, a server on a free
// loopback port, and a small HTTP client that speaks raw bytes over a socket.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "corvella/server/http_server.h"

namespace corvella::server::testing {

namespace fs = std::filesystem;

/// A parsed HTTP response; status 0 when the connection closed without one.
struct Response {
  int status = 0;
  std::multimap<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
  }
};

/// Sends @p raw to 127.0.0.1:@p port and reads one response (the connection is closed after).
inline Response Exchange(uint16_t port, const std::string& raw, int timeoutSeconds = 20) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{timeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Response response;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return response;
  }
  for (size_t sent = 0; sent < raw.size();) {
    ssize_t n = ::send(fd, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  size_t end = data.find("\r\n\r\n");
  if (data.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return response;
  response.status = std::stoi(data.substr(9, 3));
  size_t line = data.find("\r\n") + 2;
  while (line < end) {
    size_t next = data.find("\r\n", line);
    std::string header = data.substr(line, next - line);
    size_t colon = header.find(':');
    std::string name = header.substr(0, colon);
    for (char& c : name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t value = header.find_first_not_of(' ', colon + 1);
    response.headers.emplace(name, value == std::string::npos ? "" : header.substr(value));
    line = next + 2;
  }
  response.body = data.substr(end + 4);
  return response;
}

/// GET (or another method) of @p target with extra header lines and a body.
inline Response Request(uint16_t port, const std::string& target, const std::string& method = "GET",
                        const std::string& headers = "", const std::string& body = "") {
  std::string raw =
      method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers;
  if (!body.empty() || method == "POST")
    raw += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return Exchange(port, raw + "\r\n" + body);
}

/// A temporary site folder with files written from a table, and a server over it.
class TestSite {
 public:
  explicit TestSite(const std::map<std::string, std::string>& files,
                    std::function<void(ServerOptions&)> configure = {}) {
    root_ = fs::temp_directory_path() /
            ("corvella-site-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::remove_all(root_);
    fs::create_directories(root_);
    for (const auto& [path, text] : files)
      Write(path, text);
    ServerOptions options;
    options.port = 0;
    options.accessLog = nullptr;
    options.site.root = root_;
    options.site.logError = [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      errors_.push_back(line);
    };
    if (configure) configure(options);
    server_ = std::make_unique<HttpServer>(options);
    server_->Start();
  }
  ~TestSite() {
    server_.reset();
    fs::remove_all(root_);
  }
  void Write(const std::string& path, const std::string& text) {
    fs::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path, std::ios::binary) << text;
  }
  uint16_t Port() const { return server_->Port(); }
  const fs::path& Root() const { return root_; }
  HttpServer& Server() { return *server_; }
  std::vector<std::string> Errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  static inline int counter_ = 0;
  fs::path root_;
  std::unique_ptr<HttpServer> server_;
  std::mutex mutex_;
  std::vector<std::string> errors_;
};

}  // namespace corvella::server::testing
