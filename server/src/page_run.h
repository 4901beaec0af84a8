#pragma once
// One request's run of a page: the page's objects, the engine runs of the page and of the pages
// it executes, and the reply built from what they wrote.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "corvella/host/page_host.h"
#include "corvella/server/site.h"
#include "http_exchange.h"
#include "page_objects.h"
#include "request_object.h"
#include "session_state.h"

namespace corvella::server {

class RequestScope final : public PageHooks {
 public:
  /// @p request may be a stand-in (empty) for the session and application events.
  RequestScope(Site& site, const HttpRequest& request, const std::string& virtualPath,
               bool sessionState);
  ~RequestScope() override;

  /// Runs @p page as the request's page; the outcome is in Failure(), TimedOut() and the
  /// response.
  void RunMain(const std::shared_ptr<const CompiledPage>& page);
  /// Runs an event procedure of global.asa (Session_OnStart, ...).
  void RunEvent(const std::shared_ptr<const CompiledPage>& event);
  /// Lets the scope use this session (for Session_OnEnd).
  void UseSession(std::shared_ptr<SessionState> session);

  HttpReply Reply();
  const std::optional<PageError>& Failure() const { return failure_; }
  bool TimedOut() const { return timedOut_; }

  // PageHooks
  ObjectRef CreateServerObject(std::u16string_view progId) override;
  void Execute(std::u16string_view path, bool transfer) override;
  const std::u16string& Block(size_t index) const override;
  int ScriptTimeout() const override { return scriptTimeout_; }
  void SetScriptTimeout(int seconds) override;
  const std::optional<PageError>& LastError() const override { return lastError_; }
  /// What Server.GetLastError answers in the site's error page.
  void SetLastError(PageError error) { lastError_ = std::move(error); }
  ObjectRef Intrinsic(std::u16string_view name) override;

 private:
  friend class RunHost;
  // Runs one program and answers how it ended; a failure or timeout is also recorded in the scope.
  script::RunStatus RunProgram(const CompiledPage& page, const script::Program& program);
  ObjectRef SessionObjectRef();

  Site& site_;
  const HttpRequest& request_;
  std::string virtualPath_;
  bool sessionState_;
  std::shared_ptr<host::PageContext> page_;
  std::shared_ptr<RequestObject> requestObject_;
  std::shared_ptr<ResponseObject> responseObject_;
  std::shared_ptr<ServerObject> serverObject_;
  std::shared_ptr<ContextObject> context_;
  ObjectRef application_;
  ObjectRef session_;
  std::shared_ptr<SessionState> sessionState__;
  std::unique_lock<std::mutex> sessionLock_;
  bool newSession_ = false;
  std::shared_ptr<PageTimer> timer_;
  int scriptTimeout_;
  std::chrono::steady_clock::time_point started_;
  std::vector<const CompiledPage*> pages_;
  std::vector<std::vector<ObjectRef>> boundObjects_;
  std::optional<PageError> failure_;
  std::optional<PageError> lastError_;
  bool timedOut_ = false;
};

}  // namespace corvella::server
