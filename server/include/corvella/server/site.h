#pragma once
/// @file
/// A site of classic pages: its root folder, its compiled pages (recompiled when a file of theirs
/// changes), global.asa with its events, the Application and Session state, and the watchdog
/// that stops a page past its ScriptTimeout. RunPage runs one .asp page for one request and
/// answers the reply; many threads may call it at once, each page on its own engine instance.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "corvella/platform/run_limits.h"
#include "corvella/server/page_compiler.h"

namespace corvella::server {

struct HttpRequest;
struct HttpReply;
struct SessionState;
class SessionTable;
class ApplicationState;

/// Settings of a site.
struct SiteOptions {
  std::filesystem::path root;      ///< the site's folder (made absolute and canonical)
  int scriptTimeoutSeconds = 90;   ///< Server.ScriptTimeout's default
  int sessionTimeoutMinutes = 20;  ///< Session.Timeout's default
  size_t maxSessions = 10000;      ///< the least recently used session ends beyond this
  /// Where a page's error goes: the script's file, line, column, number and description.
  std::function<void(const std::string&)> logError;
  /// The virtual path of the site's error page ("/error.asp"), run with status 500 after a page
  /// fails, Server.GetLastError telling the error; empty: a short 500 page of the server's own.
  std::string errorPage;
};

/// A running page's stop signal and its deadline (nanoseconds of the steady clock). The run
/// limits carry the same signal into long built-in functions and the component's pixel loops.
struct PageTimer {
  std::atomic<bool> cancel{false};
  platform::RunLimits limits;
  std::atomic<int64_t> deadline{0};
};

class Site {
 public:
  explicit Site(SiteOptions options);
  /// Ends every session (Session_OnEnd) and the application (Application_OnEnd).
  ~Site();
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  /// Runs the page at @p virtualPath ("/gallery/index.asp") for @p request. @p detailedErrors:
  /// the 500 page shows the error (for loopback developers).
  HttpReply RunPage(const HttpRequest& request, const std::string& virtualPath,
                    bool detailedErrors);

  /// The compiled page, from the cache when none of its files changed; throws PageError.
  std::shared_ptr<const CompiledPage> Page(const std::string& virtualPath);

  /// The physical path of a virtual one, when the file exists inside the root (symbolic links
  /// that lead out of the root are refused).
  std::optional<std::filesystem::path> PhysicalFile(const std::string& virtualPath) const;

  const SiteOptions& Options() const { return options_; }
  const std::filesystem::path& Root() const { return options_.root; }
  /// The number of live sessions.
  size_t SessionCount() const;

  // For the page runs ------------------------------------------------------------------------
  struct GlobalEvents;
  /// Runs Application_OnStart once, before the first page.
  void StartApplication();
  /// A session for the request's cookie, or a new one (@p created), running Session_OnStart
  /// through @p runEvent for a new one.
  std::shared_ptr<SessionState> FindSession(const std::string& cookie);
  std::shared_ptr<SessionState> CreateSession();
  void EndSession(const std::shared_ptr<SessionState>& session);
  ApplicationState& Application() { return *application_; }
  /// The program that runs the event procedure @p name of global.asa, or nullptr.
  std::shared_ptr<const CompiledPage> GlobalEvent(std::string_view name);
  /// Registers a running page with the watchdog for @p seconds; the timer stays valid until
  /// Unwatch.
  std::shared_ptr<PageTimer> Watch(int seconds);
  void Unwatch(const std::shared_ptr<PageTimer>& timer);
  void LogError(const std::string& line) const;

 private:
  struct CacheEntry {
    std::shared_ptr<const CompiledPage> page;
    std::vector<std::pair<std::filesystem::path, std::filesystem::file_time_type>> stamps;
  };
  void RunEvent(std::string_view name, const std::shared_ptr<SessionState>& session);
  std::optional<HttpReply> RunErrorPage(const HttpRequest& request, const PageError& failure);
  void Maintain(bool sweeper);
  std::optional<LoadedFile> Load(const std::string& virtualPath) const;

  SiteOptions options_;
  FileLoader loader_;
  std::mutex cacheMutex_;
  std::unordered_map<std::string, CacheEntry> cache_;
  std::unique_ptr<ApplicationState> application_;
  std::unique_ptr<SessionTable> sessions_;
  std::once_flag applicationStarted_;
  std::mutex globalMutex_;
  bool globalLoaded_ = false;
  std::unordered_map<std::string, std::shared_ptr<const CompiledPage>> events_;

  std::mutex watchMutex_;
  std::condition_variable_any wake_;
  std::vector<std::shared_ptr<PageTimer>> timers_;
  bool stopping_ = false;
  std::thread watchdog_;
  std::thread sweeper_;
};

}  // namespace corvella::server
