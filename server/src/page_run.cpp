// One request's run of a page and of the pages it executes.

#include "page_run.h"

#include "corvella/component/identity.h"
#include "corvella/host/script_objects.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/host.h"
#include "page_errors.h"

namespace corvella::server {

namespace {

// Server.Execute may nest this deep.
constexpr size_t kMaxExecuteDepth = 8;
// The session cookie's name.
constexpr std::string_view kSessionCookie = "ASPSESSIONID";

int64_t SteadyNanos(std::chrono::steady_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

}  // namespace

/// The engine's host for one program run: the page's named objects and CreateObject.
class RunHost final : public script::BasicHost {
 public:
  RunHost(RequestScope& scope, size_t level) : scope_(scope), level_(level) {
    RegisterClass(std::u16string(component::kProgIdPictron),
                  [] { return component::CreateObject(component::kProgIdPictron); });
    for (const host::ScriptObjectClass& objectClass : host::ScriptObjectClasses()) {
      RegisterClass(std::u16string(objectClass.progId), objectClass.create);
    }
  }

  ObjectRef NamedItem(std::u16string_view name) override { return scope_.Intrinsic(name); }

  // OnEndPage on the objects that Server.CreateObject bound during this run, in order of
  // creation; the first error is raised again after all were called.
  void ScriptEnded() override {
    std::vector<ObjectRef> objects = std::exchange(scope_.boundObjects_[level_], {});
    std::optional<platform::Error> first;
    for (const ObjectRef& object : objects) {
      try {
        platform::InvokeByName(object, u"OnEndPage", InvokeKind::Method);
      } catch (const platform::Error& error) {
        if (!first) first = error;
      }
    }
    if (first) throw *first;
  }

 private:
  RequestScope& scope_;
  size_t level_;
};

RequestScope::RequestScope(Site& site, const HttpRequest& request, const std::string& virtualPath,
                           bool sessionState)
    : site_(site),
      request_(request),
      virtualPath_(virtualPath),
      sessionState_(sessionState),
      scriptTimeout_(site.Options().scriptTimeoutSeconds),
      started_(std::chrono::steady_clock::now()) {
  page_ = std::make_shared<host::PageContext>(site.Root().u16string(),
                                              platform::Utf8ToWide(virtualPath));
  RequestPage requestPage;
  requestPage.virtualPath = virtualPath;
  requestPage.siteRoot = site.Root().string();
  if (auto physical = site.PhysicalFile(virtualPath)) requestPage.physicalPath = physical->string();
  requestObject_ = std::make_shared<RequestObject>(request, requestPage);
  responseObject_ = std::make_shared<ResponseObject>(page_->Response(), *this, 65001);
  serverObject_ = std::make_shared<ServerObject>(page_->Server(), *this, 65001);
  context_ = std::make_shared<ContextObject>(responseObject_, serverObject_, *this);
  application_ = std::make_shared<ApplicationObject>(site.Application());
  timer_ = site.Watch(scriptTimeout_);
}

RequestScope::~RequestScope() {
  site_.Unwatch(timer_);
  // The page's objects go before the session's lock is released.
  session_.reset();
  application_.reset();
  if (sessionState__ && sessionState__->abandoned) site_.EndSession(sessionState__);
}

void RequestScope::UseSession(std::shared_ptr<SessionState> session) {
  sessionState__ = std::move(session);
  session_ = std::make_shared<SessionObject>(sessionState__);
}

ObjectRef RequestScope::SessionObjectRef() {
  if (session_ || !sessionState_) return session_;
  std::string cookie;
  NamedValues cookies;
  ParseCookieHeader(request_.Header("Cookie"), 65001, cookies);
  if (const auto* values = cookies.Find(platform::Utf8ToWide(kSessionCookie))) {
    cookie = platform::WideToUtf8(values->front());
  }
  std::shared_ptr<SessionState> session = cookie.empty() ? nullptr : site_.FindSession(cookie);
  if (!session) {
    session = site_.CreateSession();
    newSession_ = true;
  }
  sessionLock_ = std::unique_lock(session->pageLock);
  UseSession(session);
  if (!session->started) {
    session->started = true;
    if (auto event = site_.GlobalEvent("Session_OnStart")) RunEvent(event);
  }
  return session_;
}

ObjectRef RequestScope::Intrinsic(std::u16string_view name) {
  if (platform::EqualsNoCase(name, "Request")) return requestObject_;
  if (platform::EqualsNoCase(name, "Response")) return responseObject_;
  if (platform::EqualsNoCase(name, "Server")) return serverObject_;
  if (platform::EqualsNoCase(name, "Application")) return application_;
  if (platform::EqualsNoCase(name, "Session")) return SessionObjectRef();
  return nullptr;
}

script::RunStatus RequestScope::RunProgram(const CompiledPage& page,
                                           const script::Program& program) {
  pages_.push_back(&page);
  boundObjects_.emplace_back();
  RunHost host(*this, boundObjects_.size() - 1);
  script::RunOptions options;
  options.cancel = &timer_->cancel;
  options.limits = &timer_->limits;
  script::RunResult result = script::Run(program, host, options);
  pages_.pop_back();
  boundObjects_.pop_back();
  if (result.error) {
    if (!failure_) failure_ = MapError(page.page, *result.error);
  } else if (result.status == script::RunStatus::TimedOut ||
             result.status == script::RunStatus::Cancelled) {
    timedOut_ = true;
  }
  return result.status;
}

void RequestScope::RunMain(const std::shared_ptr<const CompiledPage>& page) {
  responseObject_->SetCodePage(page->page.codePage);
  site_.StartApplication();
  if (sessionState_ && page->page.sessionState && site_.GlobalEvent("Session_OnStart")) {
    SessionObjectRef();  // a site with Session_OnStart gives every visitor a session
  }
  if (failure_ || timedOut_) return;
  RunProgram(*page, *page->program);
}

void RequestScope::RunEvent(const std::shared_ptr<const CompiledPage>& event) {
  RunProgram(*event, *event->program);
  if (failure_) {
    site_.LogError(script::FormatError(failure_->file, failure_->error));
  }
}

ObjectRef RequestScope::CreateServerObject(std::u16string_view progId) {
  RunHost factory(*this, 0);
  ObjectRef object = factory.BasicHost::CreateObject(progId);
  if (object && object->GetIdOfName(u"OnStartPage") != platform::kDispIdUnknown &&
      !boundObjects_.empty()) {
    // Kept before the call, so that OnEndPage reaches an object whose OnStartPage failed.
    boundObjects_.back().push_back(object);
    Variant context{ObjectRef(context_)};
    platform::InvokeByName(object, u"OnStartPage", InvokeKind::Method, std::span(&context, 1));
  }
  return object;
}

void RequestScope::Execute(std::u16string_view path, bool transfer) {
  if (pages_.size() >= kMaxExecuteDepth) Raise(PageObjectError::ExecuteTooDeep);
  std::string relative = platform::WideToUtf8(path);
  relative = relative.substr(0, relative.find('?'));
  std::optional<std::string> target =
      JoinVirtualPath(pages_.empty() ? virtualPath_ : pages_.back()->page.files[0], relative);
  if (!target) Raise(PageObjectError::PageNotFound, relative);
  std::string lower = *target;
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() < 4 || lower.substr(lower.size() - 4) != ".asp") {
    Raise(PageObjectError::ExecuteNotAsp, *target);
  }
  std::shared_ptr<const CompiledPage> page;
  try {
    page = site_.Page(*target);
  } catch (const PageError& error) {
    if (error.error.position.line == 0 && !site_.PhysicalFile(*target)) {
      Raise(PageObjectError::PageNotFound, *target);
    }
    failure_ = error;
    throw script::ScriptExit(0);
  }
  // The executed page maps paths from its own folder and sees its own SCRIPT_NAME.
  auto mapper =
      std::make_shared<host::PageServer>(site_.Root().u16string(), platform::Utf8ToWide(*target));
  RequestPage previous = requestObject_->Page();
  RequestPage next = previous;
  next.virtualPath = *target;
  serverObject_->SetMapper(mapper);
  requestObject_->SetPage(next);
  script::RunStatus status = RunProgram(*page, *page->program);
  serverObject_->SetMapper(page_->Server());
  requestObject_->SetPage(previous);
  // A failure, a timeout or Response.End in the executed page ends the whole response, as does
  // Transfer.
  if (status != script::RunStatus::Completed || transfer) throw script::ScriptExit(0);
}

const std::u16string& RequestScope::Block(size_t index) const {
  static const std::u16string kNone;
  if (pages_.empty() || index >= pages_.back()->page.blocks.size()) return kNone;
  return pages_.back()->page.blocks[index];
}

void RequestScope::SetScriptTimeout(int seconds) {
  scriptTimeout_ = seconds;
  timer_->deadline = SteadyNanos(started_ + std::chrono::seconds(seconds));
}

HttpReply RequestScope::Reply() {
  HttpReply reply;
  const host::PageResponse& response = *page_->Response();
  reply.status = response.StatusCode();
  reply.headers = responseObject_->FinalHeaders();
  for (const auto& header : response.Headers())
    reply.headers.push_back(header);
  if (newSession_ && sessionState__ && !sessionState__->abandoned) {
    reply.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) + "=" +
                                                 sessionState__->cookie +
                                                 "; path=/; HttpOnly; SameSite=Lax");
  }
  reply.body.assign(response.Body().begin(), response.Body().end());
  return reply;
}

}  // namespace corvella::server
