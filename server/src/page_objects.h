#pragma once
// The Response and Server objects of a served page (around the page host's collecting response
// and path mapping), the ASPError object of Server.GetLastError, and the scripting context that
// Server.CreateObject hands to OnStartPage.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvella/host/page_host.h"
#include "corvella/server/page_compiler.h"
#include "http_exchange.h"
#include "session_state.h"

namespace corvella::server {

/// What the page objects ask of the run that owns them.
class PageHooks {
 public:
  virtual ~PageHooks() = default;
  /// Server.CreateObject: creates the object and binds it to the page.
  virtual ObjectRef CreateServerObject(std::u16string_view progId) = 0;
  /// Server.Execute (and Transfer, which then ends the page).
  virtual void Execute(std::u16string_view path, bool transfer) = 0;
  /// The literal text of Response.WriteBlock.
  virtual const std::u16string& Block(size_t index) const = 0;
  /// Server.ScriptTimeout in seconds.
  virtual int ScriptTimeout() const = 0;
  virtual void SetScriptTimeout(int seconds) = 0;
  /// Server.GetLastError: the error being reported, or none.
  virtual const std::optional<PageError>& LastError() const = 0;
  /// The object that a page reaches by one of the names Request, Session, Application.
  virtual ObjectRef Intrinsic(std::u16string_view name) = 0;
};

/// A cookie that the page sets.
struct ResponseCookie {
  std::u16string name;
  std::u16string value;
  std::optional<double> expires;  ///< a date, days since 1899-12-30 (local = UTC here)
  std::u16string path = u"/";
  std::u16string domain;
  bool secure = false;
};

class ResponseObject final : public platform::Dispatchable {
 public:
  ResponseObject(std::shared_ptr<host::PageResponse> response, PageHooks& hooks, int codePage);
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;

  /// Writes text in the page's code page.
  void Write(std::u16string_view text);
  void SetCodePage(int codePage) { codePage_ = codePage; }
  /// The headers that Response's own members add at the end of the page: Cache-Control,
  /// Expires, Set-Cookie, the Content-Type with its charset.
  HeaderList FinalHeaders() const;
  const host::PageResponse& Page() const { return *response_; }
  /// Redirect target, when Response.Redirect was called.
  const std::string& Location() const { return location_; }

 private:
  ResponseCookie& Cookie(std::u16string_view name);

  std::shared_ptr<host::PageResponse> response_;
  PageHooks& hooks_;
  int codePage_;
  std::string charset_;
  std::string cacheControl_ = "private";
  std::optional<int64_t> expiresAt_;  // seconds since the epoch
  std::string location_;
  std::vector<ResponseCookie> cookies_;
  friend class CookieObject;
};

class ServerObject final : public platform::Dispatchable {
 public:
  ServerObject(std::shared_ptr<host::PageServer> server, PageHooks& hooks, int codePage);
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;
  void SetMapper(std::shared_ptr<host::PageServer> server) { server_ = std::move(server); }

 private:
  std::shared_ptr<host::PageServer> server_;
  PageHooks& hooks_;
  int codePage_;
};

/// The scripting context of OnStartPage: Response, Server, Request, Session, Application.
class ContextObject final : public platform::Dispatchable {
 public:
  ContextObject(ObjectRef response, ObjectRef server, PageHooks& hooks)
      : response_(std::move(response)), server_(std::move(server)), hooks_(hooks) {}
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;

 private:
  ObjectRef response_;
  ObjectRef server_;
  PageHooks& hooks_;
};

/// Server.URLEncode: letters and digits stay, a blank becomes "+", every other byte of the text
/// in @p codePage becomes %XX.
std::string UrlEncode(std::u16string_view text, int codePage, bool path = false);

/// Bytes of text in the page's code page.
std::string EncodeCodePage(std::u16string_view text, int codePage);

}  // namespace corvella::server
