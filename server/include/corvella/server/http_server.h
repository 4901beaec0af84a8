#pragma once
/// @file
/// The HTTP/1.1 server of a site, on libmicrohttpd: its thread pool reads and writes the
/// connections (keep-alive, connection limit, idle timeout, header size limit), static files go
/// out from there, and .asp pages run on a pool of page workers of their own so that a slow page
/// never holds up other connections. Stop finishes the requests in flight.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "corvella/server/site.h"

namespace corvella::server {

/// Settings of the server; every limit has a default suited to a small site.
struct ServerOptions {
  std::string bindAddress = "127.0.0.1";   ///< IPv4 or IPv6 literal
  uint16_t port = 8080;                    ///< 0: any free port (Port() answers it)
  size_t maxBodyBytes = 32 * 1024 * 1024;  ///< larger bodies get 413 before they are read
  size_t maxHeaderBytes = 16 * 1024;       ///< request line and headers together; 431 beyond
  unsigned maxConnections = 256;
  unsigned idleTimeoutSeconds = 30;  ///< a connection silent this long is closed
  unsigned ioThreads = 0;            ///< 0: one per core
  unsigned pageWorkers = 0;          ///< 0: twice the cores, at least 4
  /// Error details in the 500 page for clients on the loopback address.
  bool detailedErrors = false;
  /// Where the access log goes (combined log format), one line per request; nullptr: nowhere.
  std::FILE* accessLog = stderr;
  SiteOptions site;
};

class HttpServer {
 public:
  explicit HttpServer(ServerOptions options);
  /// Stops the server if it still runs.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  /// Binds and starts serving; throws std::runtime_error with the reason when it cannot.
  void Start();
  /// The port that the server listens on.
  uint16_t Port() const;
  /// Stops accepting connections, lets the requests in flight finish, then closes.
  void Stop();
  Site& GetSite();

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvella::server
