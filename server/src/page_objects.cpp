// Response, Server, ASPError and the scripting context of a served page.

#include "page_objects.h"

#include <array>
#include <ctime>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "page_errors.h"
#include "text_codec.h"

namespace corvella::server {

namespace text = host::text;

using platform::Raise;
using platform::RuntimeError;

namespace {

constexpr int32_t kPageObjectErrorNumber = static_cast<int32_t>(0x80004005u);

struct PageObjectErrorInfo {
  std::string_view source;
  std::string_view text;
};

constexpr PageObjectErrorInfo kPageObjectErrors[] = {
    {"Request object", "ASP 0206: Cannot call BinaryRead after using Request.Form collection."},
    {"Request object", "ASP 0207: Cannot use Request.Form collection after calling BinaryRead."},
    {"Response object", "ASP 0156: The HTTP headers are already written to the client browser."},
    {"Response object", "The redirect target contains a line break or NUL."},
    {"Response object", "The cookie name or attribute contains a character not allowed."},
    {"Server object", "ASP 0228: The page to execute was not found."},
    {"Server object", "ASP 0235: Only .asp pages of the site can be executed."},
    {"Server object", "ASP 0234: Server.Execute is nested too deep."},
    {"Server object", "ScriptTimeout takes 1 to 86400 seconds."},
};

bool HasLineBreakOrNul(std::u16string_view text) {
  return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

// Days since 1899-12-30 to seconds since the epoch.
int64_t DateToEpoch(double days) {
  return static_cast<int64_t>((days - 25569.0) * 86400.0);
}

Variant Plain(const Variant& value) {
  Variant current = value;
  for (int i = 0; current.IsObject() && current.AsObject() && i < 8; ++i) {
    current = current.AsObject()->Invoke(platform::kDispIdValue,
                                         InvokeKind::Method | InvokeKind::PropertyGet, {});
  }
  return current;
}

bool IsPut(InvokeKind kind) {
  return kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef;
}

// The page's own members get DISPIDs above those of the page host's objects, which are small.
constexpr DispId kOwn = 1000;

}  // namespace

[[noreturn]] void Raise(PageObjectError error, std::string_view detail) {
  const PageObjectErrorInfo& info = kPageObjectErrors[static_cast<int>(error)];
  std::string text(info.text);
  if (!detail.empty()) text += " (" + std::string(detail) + ")";
  throw platform::Error(kPageObjectErrorNumber, std::string(info.source), text);
}

std::string EncodeCodePage(std::u16string_view text, int codePage) {
  if (codePage != 1252) return platform::WideToUtf8(text);
  std::vector<uint8_t> bytes;
  text::EncodeWindows1252(text, bytes);
  return std::string(bytes.begin(), bytes.end());
}

std::string UrlEncode(std::u16string_view text, int codePage, bool path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : EncodeCodePage(text, codePage)) {
    bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                 (path && std::string_view("/-_.~!$&'()*+,;=:@").find(static_cast<char>(c)) !=
                              std::string_view::npos);
    if (plain) {
      out += static_cast<char>(c);
    } else if (c == ' ' && !path) {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Response

namespace {

constexpr std::array<std::string_view, 14> kResponseNames = {"Write",
                                                             "WriteBlock",
                                                             "End",
                                                             "Flush",
                                                             "Redirect",
                                                             "Cookies",
                                                             "Expires",
                                                             "ExpiresAbsolute",
                                                             "CacheControl",
                                                             "Charset",
                                                             "IsClientConnected",
                                                             "AppendToLog",
                                                             "CodePage",
                                                             "LCID"};

}  // namespace

/// One cookie of Response.Cookies: its value (default), Expires, Path, Domain, Secure.
class CookieObject final : public platform::Dispatchable {
 public:
  CookieObject(ResponseObject& response, std::u16string name)
      : response_(response), name_(std::move(name)) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    static constexpr std::array<std::string_view, 6> kNames = {"Item",   "Expires", "Path",
                                                               "Domain", "Secure",  "HasKeys"};
    DispId id = IndexOfName(kNames, name);
    return id == 1 ? platform::kDispIdValue : id;
  }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    ResponseCookie& cookie = response_.Cookie(name_);
    if (!IsPut(kind)) {
      switch (id) {
        case platform::kDispIdValue:
          return Variant(cookie.value);
        case 2:
          return cookie.expires ? Variant::Date(*cookie.expires) : Variant();
        case 3:
          return Variant(cookie.path);
        case 4:
          return Variant(cookie.domain);
        case 5:
          return Variant::Bool(cookie.secure);
        case 6:
          return Variant::Bool(false);
        default:
          Raise(RuntimeError::MemberNotFound);
      }
    }
    if (args.empty()) Raise(RuntimeError::WrongArgumentCount);
    if (response_.Page().HeadersSent()) server::Raise(PageObjectError::HeadersWritten);
    Variant value = Plain(args.back());
    std::u16string text = value.IsEmpty() ? std::u16string() : value.ToBStr();
    auto checkAttribute = [&] {
      if (HasLineBreakOrNul(text) || text.find(u';') != std::u16string::npos) {
        server::Raise(PageObjectError::BadCookie, platform::WideToUtf8(name_));
      }
    };
    switch (id) {
      case platform::kDispIdValue:
        cookie.value = text;
        break;
      case 2:
        cookie.expires = value.ToDate();
        break;
      case 3:
        checkAttribute();
        cookie.path = text;
        break;
      case 4:
        checkAttribute();
        cookie.domain = text;
        break;
      case 5:
        cookie.secure = value.ToBool() != 0;
        break;
      default:
        Raise(RuntimeError::MemberNotFound);
    }
    return {};
  }

 private:
  ResponseObject& response_;
  std::u16string name_;
};

ResponseObject::ResponseObject(std::shared_ptr<host::PageResponse> response, PageHooks& hooks,
                               int codePage)
    : response_(std::move(response)), hooks_(hooks), codePage_(codePage) {
}

DispId ResponseObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kResponseNames, name);
  if (id != platform::kDispIdUnknown) return kOwn + id;
  return response_->GetIdOfName(name);
}

ResponseCookie& ResponseObject::Cookie(std::u16string_view name) {
  for (ResponseCookie& cookie : cookies_) {
    if (platform::EqualsNoCase(cookie.name, platform::WideToUtf8(name))) return cookie;
  }
  if (name.empty()) server::Raise(PageObjectError::BadCookie, "an empty name");
  for (char16_t c : name) {
    if (c <= u' ' || c >= 127 ||
        std::u16string_view(u"()<>@,;:\\\"/[]?={}").find(c) != std::u16string_view::npos) {
      server::Raise(PageObjectError::BadCookie, platform::WideToUtf8(name));
    }
  }
  cookies_.push_back({std::u16string(name), {}, {}, u"/", {}, false});
  return cookies_.back();
}

void ResponseObject::Write(std::u16string_view text) {
  if (codePage_ == 65001) {
    response_->Write(text);
    return;
  }
  std::string bytes = EncodeCodePage(text, codePage_);
  response_->BinaryWrite(platform::ByteArray::FromBytes(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
}

Variant ResponseObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  if (id < kOwn) return response_->Invoke(id, kind, args);
  auto needHeadersOpen = [&] {
    if (response_->HeadersSent()) server::Raise(PageObjectError::HeadersWritten);
  };
  switch (id - kOwn) {
    case 1: {  // Write
      Variant value = args.empty() ? Variant() : Plain(args[0]);
      if (!value.IsEmpty() && !value.IsNull()) Write(value.ToBStr());
      return {};
    }
    case 2: {  // WriteBlock
      int32_t index = args.empty() ? -1 : args[0].ToI4();
      if (index < 0) Raise(RuntimeError::InvalidProcedureCall, "Response.WriteBlock");
      Write(hooks_.Block(static_cast<size_t>(index)));
      return {};
    }
    case 3:
      throw script::ScriptExit(0);  // End
    case 4:
      return {};  // Flush: the response goes out when the page ends
    case 5: {     // Redirect
      std::u16string target = StringArgument(args, 0, "Response.Redirect");
      needHeadersOpen();
      if (HasLineBreakOrNul(target)) server::Raise(PageObjectError::BadRedirect);
      location_ = platform::WideToUtf8(target);
      response_->Clear();
      response_->SetStatus(u"302 Object moved");
      response_->AddHeader(u"Location", target);
      Write(
          u"<head><title>Object moved</title></head><body><h1>Object Moved</h1>This object "
          u"may be found <a href=\"" +
          platform::Utf8ToWide(HtmlEncode(location_)) + u"\">here</a>.</body>\n");
      throw script::ScriptExit(0);
    }
    case 6: {  // Cookies
      if (IsPut(kind)) {
        if (args.size() != 2) Raise(RuntimeError::WrongArgumentCount, "Response.Cookies");
        needHeadersOpen();
        Variant value = Plain(args[1]);
        Cookie(StringArgument(args, 0, "Response.Cookies")).value =
            value.IsEmpty() ? std::u16string() : value.ToBStr();
        return {};
      }
      std::u16string name = StringArgument(args, 0, "Response.Cookies");
      Cookie(name);
      return Variant(ObjectRef(std::make_shared<CookieObject>(*this, name)));
    }
    case 7:  // Expires (minutes from now)
      if (!IsPut(kind)) return {};
      needHeadersOpen();
      expiresAt_ =
          static_cast<int64_t>(std::time(nullptr)) + 60 * int64_t{Plain(args.back()).ToI4()};
      return {};
    case 8:  // ExpiresAbsolute
      if (!IsPut(kind))
        return expiresAt_ ? Variant::Date(*expiresAt_ / 86400.0 + 25569.0) : Variant();
      needHeadersOpen();
      expiresAt_ = DateToEpoch(Plain(args.back()).ToDate());
      return {};
    case 9: {  // CacheControl
      if (!IsPut(kind)) return Variant(platform::Utf8ToWide(cacheControl_));
      needHeadersOpen();
      std::u16string value = StringArgument(args, args.size() - 1, "Response.CacheControl");
      if (HasLineBreakOrNul(value)) server::Raise(PageObjectError::BadCookie, "CacheControl");
      cacheControl_ = platform::WideToUtf8(value);
      return {};
    }
    case 10: {  // Charset
      if (!IsPut(kind)) return Variant(platform::Utf8ToWide(charset_));
      needHeadersOpen();
      std::u16string value = StringArgument(args, args.size() - 1, "Response.Charset");
      if (HasLineBreakOrNul(value) || value.find(u';') != std::u16string::npos) {
        server::Raise(PageObjectError::BadCookie, "Charset");
      }
      charset_ = platform::WideToUtf8(value);
      return {};
    }
    case 11:
      return Variant::Bool(true);  // IsClientConnected
    case 12:
      return {};  // AppendToLog
    case 13:      // CodePage
      if (!IsPut(kind)) return Variant(static_cast<int32_t>(codePage_));
      if (int32_t page = Plain(args.back()).ToI4(); page == 65001 || page == 1252) {
        codePage_ = page;
      } else {
        Raise(RuntimeError::InvalidProcedureCall, "Response.CodePage: 65001 or 1252");
      }
      return {};
    case 14:
      return IsPut(kind) ? Variant() : Variant(int32_t{1033});
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

HeaderList ResponseObject::FinalHeaders() const {
  HeaderList headers;
  std::string type = response_->ContentType();
  std::string charset = charset_;
  if (charset.empty() && type.rfind("text/", 0) == 0) {
    charset = codePage_ == 1252 ? "windows-1252" : "utf-8";
  }
  if (!charset.empty() && type.find("charset") == std::string::npos) type += "; charset=" + charset;
  headers.emplace_back("Content-Type", type);
  headers.emplace_back("Cache-Control", cacheControl_);
  if (expiresAt_) headers.emplace_back("Expires", HttpDate(*expiresAt_));
  for (const ResponseCookie& cookie : cookies_) {
    std::string line = platform::WideToUtf8(cookie.name) + "=" + UrlEncode(cookie.value, codePage_);
    if (cookie.expires) line += "; expires=" + HttpDate(DateToEpoch(*cookie.expires));
    if (!cookie.domain.empty()) line += "; domain=" + platform::WideToUtf8(cookie.domain);
    line += "; path=" + platform::WideToUtf8(cookie.path);
    if (cookie.secure) line += "; secure";
    headers.emplace_back("Set-Cookie", line);
  }
  return headers;
}

// ---------------------------------------------------------------------------------------------
// Server

namespace {

constexpr std::array<std::string_view, 8> kServerNames = {
    "CreateObject",  "HTMLEncode", "URLEncode", "URLPathEncode",
    "ScriptTimeout", "Execute",    "Transfer",  "GetLastError"};

// Server.GetLastError's answer.
class ErrorObject final : public platform::Dispatchable {
 public:
  explicit ErrorObject(std::optional<PageError> error) : error_(std::move(error)) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    static constexpr std::array<std::string_view, 9> kNames = {
        "ASPCode", "Number", "Source",      "Category",      "File",
        "Line",    "Column", "Description", "ASPDescription"};
    return IndexOfName(kNames, name);
  }
  Variant Invoke(DispId id, InvokeKind, std::span<Variant>) override {
    const bool has = error_.has_value();
    switch (id) {
      case 1:
      case 9:
        return Variant(std::u16string());
      case 2:
        return Variant(has ? error_->error.number : 0);
      case 3:  // Source: the text of the failing line, which is not kept
        return Variant(std::u16string());
      case 4:  // Category: who raised the error
        return Variant(has ? platform::Utf8ToWide(error_->error.source) : u"");
      case 5:
        return Variant(has ? platform::Utf8ToWide(error_->file) : u"");
      case 6:
        return Variant(static_cast<int32_t>(has ? error_->error.position.line : 0));
      case 7:
        return Variant(static_cast<int32_t>(has ? error_->error.position.column : -1));
      case 8:
        return Variant(has ? platform::Utf8ToWide(error_->error.description) : u"");
      default:
        Raise(RuntimeError::MemberNotFound);
    }
  }
  std::u16string TypeName() const override { return u"IASPError"; }

 private:
  std::optional<PageError> error_;
};

}  // namespace

ServerObject::ServerObject(std::shared_ptr<host::PageServer> server, PageHooks& hooks, int codePage)
    : server_(std::move(server)), hooks_(hooks), codePage_(codePage) {
}

DispId ServerObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kServerNames, name);
  if (id != platform::kDispIdUnknown) return kOwn + id;
  return server_->GetIdOfName(name);
}

Variant ServerObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  if (id < kOwn) return server_->Invoke(id, kind, args);
  switch (id - kOwn) {
    case 1:
      return Variant(hooks_.CreateServerObject(StringArgument(args, 0, "Server.CreateObject")));
    case 2:
      return Variant(platform::Utf8ToWide(
          HtmlEncode(platform::WideToUtf8(StringArgument(args, 0, "Server.HTMLEncode")))));
    case 3:
      return Variant(
          platform::Utf8ToWide(UrlEncode(StringArgument(args, 0, "Server.URLEncode"), codePage_)));
    case 4:
      return Variant(platform::Utf8ToWide(
          UrlEncode(StringArgument(args, 0, "Server.URLPathEncode"), codePage_, true)));
    case 5:
      if (IsPut(kind)) {
        double seconds = Plain(args.back()).ToR8();
        if (!(seconds >= 1 && seconds <= 86400)) server::Raise(PageObjectError::BadScriptTimeout);
        hooks_.SetScriptTimeout(static_cast<int>(seconds));
        return {};
      }
      return Variant(static_cast<int32_t>(hooks_.ScriptTimeout()));
    case 6:
      hooks_.Execute(StringArgument(args, 0, "Server.Execute"), false);
      return {};
    case 7:
      hooks_.Execute(StringArgument(args, 0, "Server.Transfer"), true);
      return {};
    case 8:
      return Variant(ObjectRef(std::make_shared<ErrorObject>(hooks_.LastError())));
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

// ---------------------------------------------------------------------------------------------
// ContextObject

DispId ContextObject::GetIdOfName(std::u16string_view name) const {
  static constexpr std::array<std::string_view, 5> kNames = {"Response", "Server", "Request",
                                                             "Session", "Application"};
  return IndexOfName(kNames, name);
}

Variant ContextObject::Invoke(DispId id, InvokeKind, std::span<Variant>) {
  switch (id) {
    case 1:
      return Variant(response_);
    case 2:
      return Variant(server_);
    case 3:
      return Variant(hooks_.Intrinsic(u"Request"));
    case 4:
      return Variant(hooks_.Intrinsic(u"Session"));
    case 5:
      return Variant(hooks_.Intrinsic(u"Application"));
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

}  // namespace corvella::server
