// A site of classic pages: compiled-page cache, global.asa events, state and the watchdog.

#include "corvella/server/site.h"

#include <algorithm>
#include <fstream>

#include "corvella/platform/text.h"
#include "http_exchange.h"
#include "page_run.h"
#include "session_state.h"

namespace corvella::server {

namespace fs = std::filesystem;

namespace {

// Page sources larger than this are refused rather than read.
constexpr uintmax_t kMaxSourceBytes = 4 * 1024 * 1024;
constexpr std::string_view kGlobalAsa = "/global.asa";
constexpr std::string_view kEventNames[] = {"Application_OnStart", "Application_OnEnd",
                                            "Session_OnStart", "Session_OnEnd"};

int64_t SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// True when the script declares "Sub NAME" (case ignored).
bool DeclaresSub(std::u16string_view script, std::string_view name) {
  std::string text = Lower(platform::WideToUtf8(script));
  std::string wanted = "sub " + Lower(std::string(name));
  for (size_t at = text.find(wanted); at != std::string::npos; at = text.find(wanted, at + 1)) {
    size_t end = at + wanted.size();
    bool wordEnd = end == text.size() ||
                   !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_');
    bool lineStart = at == 0 || text[at - 1] == '\n' || text[at - 1] == ' ' || text[at - 1] == '\t';
    if (wordEnd && lineStart) return true;
  }
  return false;
}

}  // namespace

Site::Site(SiteOptions options) : options_(std::move(options)) {
  options_.root = fs::weakly_canonical(fs::absolute(options_.root));
  loader_ = [this](const std::string& virtualPath) { return Load(virtualPath); };
  application_ = std::make_unique<ApplicationState>();
  sessions_ = std::make_unique<SessionTable>(options_.maxSessions);
  watchdog_ = std::thread([this] { Maintain(false); });
  sweeper_ = std::thread([this] { Maintain(true); });
}

Site::~Site() {
  for (const auto& session : sessions_->Sweep(true))
    RunEvent("Session_OnEnd", session);
  bool started = false;
  {
    std::lock_guard lock(globalMutex_);
    started = globalLoaded_;
  }
  if (started) RunEvent("Application_OnEnd", nullptr);
  {
    std::lock_guard lock(watchMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  watchdog_.join();
  sweeper_.join();
}

std::optional<fs::path> Site::PhysicalFile(const std::string& virtualPath) const {
  std::optional<std::string> normal = JoinVirtualPath("/", virtualPath);
  if (!normal) return std::nullopt;
  fs::path path = options_.root;
  if (*normal != "/") path /= fs::path(normal->substr(1));
  std::error_code error;
  fs::path real = fs::canonical(path, error);
  if (error) return std::nullopt;
  // A link may lead anywhere: what it reaches must still lie inside the root.
  auto [rootEnd, realIt] =
      std::mismatch(options_.root.begin(), options_.root.end(), real.begin(), real.end());
  if (rootEnd != options_.root.end()) return std::nullopt;
  return path;
}

std::optional<LoadedFile> Site::Load(const std::string& virtualPath) const {
  std::optional<fs::path> path = PhysicalFile(virtualPath);
  std::error_code error;
  if (!path || !fs::is_regular_file(*path, error) ||
      fs::file_size(*path, error) > kMaxSourceBytes) {
    return std::nullopt;
  }
  std::ifstream in(*path, std::ios::binary);
  if (!in) return std::nullopt;
  LoadedFile file;
  file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  file.physicalPath = *path;
  return file;
}

std::shared_ptr<const CompiledPage> Site::Page(const std::string& virtualPath) {
  {
    std::lock_guard lock(cacheMutex_);
    auto it = cache_.find(virtualPath);
    if (it != cache_.end()) {
      bool fresh = true;
      for (const auto& [path, stamp] : it->second.stamps) {
        std::error_code error;
        if (fs::last_write_time(path, error) != stamp || error) fresh = false;
      }
      if (fresh) return it->second.page;
    }
  }
  CacheEntry entry;
  entry.page = CompilePage(virtualPath, loader_);
  for (const fs::path& path : entry.page->page.physicalFiles) {
    std::error_code error;
    entry.stamps.emplace_back(path, fs::last_write_time(path, error));
  }
  std::lock_guard lock(cacheMutex_);
  cache_[virtualPath] = entry;
  return entry.page;
}

size_t Site::SessionCount() const {
  return sessions_->Count();
}

void Site::StartApplication() {
  std::call_once(applicationStarted_, [this] {
    if (GlobalEvent("Application_OnStart")) RunEvent("Application_OnStart", nullptr);
  });
}

std::shared_ptr<const CompiledPage> Site::GlobalEvent(std::string_view name) {
  std::lock_guard lock(globalMutex_);
  if (!globalLoaded_) {
    globalLoaded_ = true;
    if (Load(std::string(kGlobalAsa))) {
      try {
        TranslatedPage global = TranslateGlobalAsa(std::string(kGlobalAsa), loader_);
        for (std::string_view event : kEventNames) {
          if (!DeclaresSub(global.script, event)) continue;
          auto compiled = std::make_shared<CompiledPage>();
          compiled->page = global;
          compiled->page.script += u"\n" + platform::Utf8ToWide(event);
          script::CompileResult result = script::Compile(compiled->page.script);
          if (!result.program) {
            PageError error = MapError(global, *result.error);
            LogError(script::FormatError(error.file, error.error));
            break;
          }
          compiled->program = std::move(result.program);
          events_[std::string(event)] = compiled;
        }
      } catch (const PageError& error) {
        LogError(script::FormatError(error.file, error.error));
      }
    }
  }
  auto it = events_.find(std::string(name));
  return it == events_.end() ? nullptr : it->second;
}

void Site::RunEvent(std::string_view name, const std::shared_ptr<SessionState>& session) {
  std::shared_ptr<const CompiledPage> event = GlobalEvent(name);
  if (!event) return;
  HttpRequest none;
  RequestScope scope(*this, none, std::string(kGlobalAsa), false);
  if (session) scope.UseSession(session);
  scope.RunEvent(event);
}

std::shared_ptr<SessionState> Site::FindSession(const std::string& cookie) {
  return sessions_->Find(cookie);
}

std::shared_ptr<SessionState> Site::CreateSession() {
  std::vector<std::shared_ptr<SessionState>> evicted;
  auto session = sessions_->Create(evicted);
  session->timeoutMinutes = options_.sessionTimeoutMinutes;
  for (const auto& old : evicted)
    RunEvent("Session_OnEnd", old);
  return session;
}

void Site::EndSession(const std::shared_ptr<SessionState>& session) {
  sessions_->Remove(session);
  RunEvent("Session_OnEnd", session);
}

std::shared_ptr<PageTimer> Site::Watch(int seconds) {
  auto timer = std::make_shared<PageTimer>();
  timer->deadline = SteadyNow() + int64_t{seconds} * 1'000'000'000;
  std::lock_guard lock(watchMutex_);
  timers_.push_back(timer);
  return timer;
}

void Site::Unwatch(const std::shared_ptr<PageTimer>& timer) {
  std::lock_guard lock(watchMutex_);
  std::erase(timers_, timer);
}

void Site::LogError(const std::string& line) const {
  if (!options_.logError) return;
  // A description may carry what a client sent; it must not start lines of its own in the log.
  std::string oneLine = line;
  for (char& c : oneLine) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  options_.logError(oneLine);
}

// The watchdog stops pages past their deadline (checked ten times a second); the sweeper ends
// expired sessions every few seconds, on a thread of its own so that a slow Session_OnEnd never
// holds up the watchdog.
void Site::Maintain(bool sweeper) {
  std::unique_lock lock(watchMutex_);
  while (!stopping_) {
    wake_.wait_for(lock,
                   sweeper ? std::chrono::milliseconds(5000) : std::chrono::milliseconds(100));
    if (stopping_) break;
    if (sweeper) {
      lock.unlock();
      for (const auto& session : sessions_->Sweep(false))
        RunEvent("Session_OnEnd", session);
      lock.lock();
      continue;
    }
    const int64_t now = SteadyNow();
    for (const auto& timer : timers_) {
      if (now >= timer->deadline) {
        timer->cancel = true;
        timer->limits.Interrupt();
      }
    }
  }
}

// The site's own error page, with Server.GetLastError answering @p failure; nullopt when it
// fails itself (the short 500 page goes out then).
std::optional<HttpReply> Site::RunErrorPage(const HttpRequest& request, const PageError& failure) {
  std::shared_ptr<const CompiledPage> page;
  try {
    page = Page(options_.errorPage);
  } catch (const PageError& error) {
    LogError(script::FormatError(error.file, error.error));
    return std::nullopt;
  }
  RequestScope scope(*this, request, options_.errorPage, page->page.sessionState);
  scope.SetLastError(failure);
  scope.RunMain(page);
  if (scope.Failure()) {
    LogError(script::FormatError(scope.Failure()->file, scope.Failure()->error));
    return std::nullopt;
  }
  if (scope.TimedOut()) return std::nullopt;
  HttpReply reply = scope.Reply();
  if (reply.status == 200) reply.status = 500;
  return reply;
}

HttpReply Site::RunPage(const HttpRequest& request, const std::string& virtualPath,
                        bool detailedErrors) {
  std::shared_ptr<const CompiledPage> page;
  std::optional<PageError> failure;
  bool timedOut = false;
  HttpReply reply;
  try {
    page = Page(virtualPath);
  } catch (const PageError& error) {
    failure = error;
  }
  if (page) {
    RequestScope scope(*this, request, virtualPath, page->page.sessionState);
    scope.RunMain(page);
    failure = scope.Failure();
    timedOut = scope.TimedOut();
    if (!failure && !timedOut) reply = scope.Reply();
  }
  if (failure) {
    std::string line = script::FormatError(failure->file, failure->error);
    LogError(line);
    if (!options_.errorPage.empty() && virtualPath != options_.errorPage) {
      if (std::optional<HttpReply> custom = RunErrorPage(request, *failure)) return *custom;
    }
    return ErrorReply(500, detailedErrors ? line : std::string());
  }
  if (timedOut) {
    std::string line = virtualPath + ": the page ran longer than its ScriptTimeout and was stopped";
    LogError(line);
    return ErrorReply(500, detailedErrors ? line : std::string());
  }
  return reply;
}

}  // namespace corvella::server
