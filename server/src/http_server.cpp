// The HTTP server on libmicrohttpd: connections, limits, routing, page workers, access log.

#include "corvella/server/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "http_exchange.h"
#include "routing.h"

namespace corvella::server {

namespace {

// One request from the first byte to the reply.
struct Exchange {
  std::string rawTarget;  // as the client sent it
  HttpRequest request;
  bool started = false;
  bool bodyTooLarge = false;
  std::atomic<bool> replyReady{false};  // set by the page worker, read by the connection
  HttpReply reply;
  std::string virtualPath;
  MHD_Connection* connection = nullptr;
};

bool IsLoopback(const std::string& address) {
  return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

}  // namespace

class HttpServer::Impl {
 public:
  explicit Impl(ServerOptions options) : options_(std::move(options)), site_(options_.site) {}

  ~Impl() { Stop(); }

  void Start() {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    unsigned workers = options_.pageWorkers ? options_.pageWorkers : std::max(4u, 2 * cores);
    unsigned ioThreads = options_.ioThreads ? options_.ioThreads : cores;

    sockaddr_storage address{};
    socklen_t length = 0;
    unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, options_.bindAddress.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(options_.port);
      length = sizeof *v4;
    } else if (inet_pton(AF_INET6, options_.bindAddress.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(options_.port);
      length = sizeof *v6;
      flags |= MHD_USE_IPv6;
    } else {
      throw std::runtime_error("'" + options_.bindAddress + "' is not an IP address to bind");
    }
    (void)length;
    // Headers must fit in the connection's memory with room for reading the body through it.
    const size_t memory = options_.maxHeaderBytes + 8 * 1024;
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Impl::Access, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr*>(&address), MHD_OPTION_THREAD_POOL_SIZE, ioThreads,
        MHD_OPTION_CONNECTION_LIMIT, options_.maxConnections, MHD_OPTION_CONNECTION_TIMEOUT,
        options_.idleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,
        MHD_OPTION_URI_LOG_CALLBACK, &Impl::UriLog, this, MHD_OPTION_NOTIFY_COMPLETED,
        &Impl::Completed, this, MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u, MHD_OPTION_END);
    if (daemon_ == nullptr) {
      throw std::runtime_error("cannot listen on " + options_.bindAddress + " port " +
                               std::to_string(options_.port) + ": " + std::strerror(errno));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : options_.port;
    for (unsigned i = 0; i < workers; ++i)
      workers_.emplace_back([this] { Work(); });
  }

  void Stop() {
    if (daemon_ == nullptr) return;
    // No new connections; the requests in flight finish and their replies go out.
    MHD_socket listener = MHD_quiesce_daemon(daemon_);
    if (listener != MHD_INVALID_SOCKET) ::close(listener);
    {
      std::unique_lock lock(mutex_);
      idle_.wait(lock, [&] { return queue_.empty() && running_ == 0; });
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_)
      worker.join();
    workers_.clear();
    // Give the resumed connections a moment to send their replies.
    for (int i = 0; i < 500 && Pending() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
  }

  uint16_t Port() const { return port_; }
  Site& GetSite() { return site_; }

 private:
  size_t Pending() {
    std::lock_guard lock(mutex_);
    return replying_;
  }

  static void* UriLog(void* self, const char* uri, MHD_Connection* connection) {
    (void)self;
    auto* exchange = new Exchange;
    exchange->rawTarget = uri ? uri : "";
    exchange->connection = connection;
    return exchange;
  }

  static void Completed(void* self, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
    (void)self;
    delete static_cast<Exchange*>(*context);
    *context = nullptr;
  }

  static MHD_Result Access(void* self, MHD_Connection* connection, const char*, const char* method,
                           const char* version, const char* uploadData, size_t* uploadSize,
                           void** context) {
    return static_cast<Impl*>(self)->Handle(connection, method, version, uploadData, uploadSize,
                                            static_cast<Exchange*>(*context));
  }

  MHD_Result Handle(MHD_Connection* connection, const char* method, const char* version,
                    const char* uploadData, size_t* uploadSize, Exchange* exchange) {
    if (exchange == nullptr) return MHD_NO;
    if (exchange->replyReady) return Send(connection, *exchange);
    HttpRequest& request = exchange->request;
    if (!exchange->started) {
      exchange->started = true;
      request.method = method;
      request.version = version;
      Collect(connection, request);
      // A declared body beyond the limit is refused before any of it is read.
      const std::string length = request.Header("Content-Length");
      if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > options_.maxBodyBytes) {
        return Reply(connection, *exchange, ErrorReply(413), true);
      }
      return MHD_YES;
    }
    if (*uploadSize > 0) {
      if (request.body.size() + *uploadSize > options_.maxBodyBytes) {
        exchange->bodyTooLarge = true;
        request.body.clear();
        request.body.shrink_to_fit();
      } else if (!exchange->bodyTooLarge) {
        request.body.insert(request.body.end(), uploadData, uploadData + *uploadSize);
      }
      *uploadSize = 0;
      return MHD_YES;
    }
    if (exchange->bodyTooLarge) return Reply(connection, *exchange, ErrorReply(413), true);
    return Dispatch(connection, *exchange);
  }

  // The request's headers, addresses and target.
  void Collect(MHD_Connection* connection, HttpRequest& request) {
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* list, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
          static_cast<HeaderList*>(list)->emplace_back(key, value ? value : "");
          return MHD_YES;
        },
        &request.headers);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info != nullptr && info->client_addr != nullptr) {
      char text[INET6_ADDRSTRLEN] = {};
      if (info->client_addr->sa_family == AF_INET) {
        auto* in = reinterpret_cast<const sockaddr_in*>(info->client_addr);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        request.remotePort = ntohs(in->sin_port);
      } else if (info->client_addr->sa_family == AF_INET6) {
        auto* in = reinterpret_cast<const sockaddr_in6*>(info->client_addr);
        inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
        request.remotePort = ntohs(in->sin6_port);
      }
      request.remoteAddress = text;
    }
    request.serverPort = port_;
    std::string host = request.Header("Host");
    request.serverName =
        host.empty() ? options_.bindAddress
                     : host.substr(0, host.rfind(':') == std::string::npos || host.back() == ']'
                                          ? host.size()
                                          : host.rfind(':'));
  }

  MHD_Result Dispatch(MHD_Connection* connection, Exchange& exchange) {
    HttpRequest& request = exchange.request;
    const std::string& target = exchange.rawTarget;
    size_t question = target.find('?');
    request.path = target.substr(0, question);
    request.query = question == std::string::npos ? "" : target.substr(question + 1);
    Route route = ResolvePath(site_, request.path, request.query);
    const bool read = request.method == "GET" || request.method == "HEAD";
    switch (route.kind) {
      case Route::Kind::Refused:
        return Reply(connection, exchange, ErrorReply(route.status));
      case Route::Kind::Redirect: {
        HttpReply reply = ErrorReply(301);
        reply.headers.emplace_back("Location", route.virtualPath);
        return Reply(connection, exchange, std::move(reply));
      }
      case Route::Kind::File: {
        if (!read) {
          HttpReply reply = ErrorReply(405);
          reply.headers.emplace_back("Allow", "GET, HEAD");
          return Reply(connection, exchange, std::move(reply));
        }
        return Reply(connection, exchange, StaticFileReply(request, route.physicalPath));
      }
      case Route::Kind::Page:
        if (!read && request.method != "POST") {
          HttpReply reply = ErrorReply(405);
          reply.headers.emplace_back("Allow", "GET, HEAD, POST");
          return Reply(connection, exchange, std::move(reply));
        }
        break;
    }
    exchange.virtualPath = route.virtualPath;
    {
      // Suspended and queued under the lock that Stop takes, so that every suspended connection
      // is one that a worker will still resume; once stopping, a kept-alive connection's new
      // request is answered at once instead.
      std::unique_lock lock(mutex_);
      if (stopping_) {
        lock.unlock();
        return Reply(connection, exchange, ErrorReply(503), true);
      }
      MHD_suspend_connection(connection);
      queue_.push_back(&exchange);
    }
    ready_.notify_one();
    return MHD_YES;
  }

  // A page worker: runs pages and resumes their connections with the reply.
  void Work() {
    for (;;) {
      Exchange* exchange = nullptr;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        exchange = queue_.front();
        queue_.pop_front();
        ++running_;
      }
      // A request that came through a proxy on this machine is not the developer's own.
      const HttpRequest& request = exchange->request;
      const bool detailed = options_.detailedErrors && IsLoopback(request.remoteAddress) &&
                            request.Header("X-Forwarded-For").empty() &&
                            request.Header("Forwarded").empty();
      HttpReply reply;
      try {
        reply = site_.RunPage(exchange->request, exchange->virtualPath, detailed);
      } catch (const std::exception& error) {
        site_.LogError(exchange->virtualPath + ": " + error.what());
        reply = ErrorReply(500);
      }
      exchange->reply = std::move(reply);
      {
        std::lock_guard lock(mutex_);
        exchange->replyReady = true;
        --running_;
        ++replying_;
      }
      MHD_resume_connection(exchange->connection);
      idle_.notify_all();
    }
  }

  MHD_Result Send(MHD_Connection* connection, Exchange& exchange) {
    {
      std::lock_guard lock(mutex_);
      --replying_;
    }
    HttpReply reply = std::move(exchange.reply);
    exchange.replyReady = false;
    return Reply(connection, exchange, std::move(reply));
  }

  MHD_Result Reply(MHD_Connection* connection, Exchange& exchange, HttpReply reply,
                   bool close = false) {
    MHD_Response* response = nullptr;
    uint64_t bytes = 0;
    if (reply.fileDescriptor >= 0) {
      response = MHD_create_response_from_fd64(reply.fileLength, reply.fileDescriptor);
      bytes = reply.fileLength;
    } else {
      response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                                 MHD_RESPMEM_MUST_COPY);
      bytes = reply.body.size();
    }
    if (response == nullptr) return MHD_NO;
    for (const auto& [name, value] : reply.headers) {
      // The library refuses line breaks in a header; such a reply becomes a 500.
      if (MHD_add_response_header(response, name.c_str(), value.c_str()) != MHD_YES) {
        MHD_destroy_response(response);
        site_.LogError(exchange.virtualPath + ": a header of the reply was refused");
        return Reply(connection, exchange, ErrorReply(500), close);
      }
    }
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    Log(exchange, reply.status, bytes);
    MHD_Result result =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return result;
  }

  // One line in the combined log format.
  void Log(const Exchange& exchange, int status, uint64_t bytes) {
    if (options_.accessLog == nullptr) return;
    const HttpRequest& request = exchange.request;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char when[64];
    std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S %z", &tm);
    auto quoted = [](std::string text) {
      for (char& c : text) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) c = '_';
      }
      return text;
    };
    std::string referer = request.Header("Referer");
    std::string agent = request.Header("User-Agent");
    std::string line = (request.remoteAddress.empty() ? "-" : request.remoteAddress) + " - - [" +
                       when + "] \"" +
                       quoted(request.method + " " + exchange.rawTarget + " " + request.version) +
                       "\" " + std::to_string(status) + " " + std::to_string(bytes) + " \"" +
                       (referer.empty() ? "-" : quoted(referer)) + "\" \"" +
                       (agent.empty() ? "-" : quoted(agent)) + "\"\n";
    std::lock_guard lock(logMutex_);
    std::fputs(line.c_str(), options_.accessLog);
    std::fflush(options_.accessLog);
  }

  ServerOptions options_;
  Site site_;
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable idle_;
  std::deque<Exchange*> queue_;
  size_t running_ = 0;
  size_t replying_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::mutex logMutex_;
};

HttpServer::HttpServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
}

HttpServer::~HttpServer() = default;

void HttpServer::Start() {
  impl_->Start();
}

uint16_t HttpServer::Port() const {
  return impl_->Port();
}

void HttpServer::Stop() {
  impl_->Stop();
}

Site& HttpServer::GetSite() {
  return impl_->GetSite();
}

}  // namespace corvella::server
