// The embedded page host: scripting context, Server.MapPath and a collecting Response.

#include "corvella/host/page_host.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "corvella/platform/error.h"
#include "corvella/platform/http_text.h"
#include "corvella/platform/text.h"

namespace corvella::host {

// The page objects are automation objects through and through.
using namespace platform;

namespace {

template <typename Object>
struct Member {
  MemberInfo info;
  Variant (*handler)(Object&, CallArgs&);
};

// Finds the member for a DISPID and kind in a table and runs it with coerced arguments.
template <typename Object, size_t N>
Variant Dispatch(Object& object, const std::array<Member<Object>, N>& table, DispId id,
                 InvokeKind kind, std::span<Variant> args) {
  std::span<const Member<Object>> members(table);
  const Member<Object>* member = FindMember(members, id, kind);
  if (member == nullptr) {
    bool known = false;
    for (const auto& m : members)
      known = known || m.info.dispid == id;
    // A known member invoked the wrong way (a let on a read-only property) is an invalid
    // property assignment; an unknown one is a member the object does not have.
    Raise(known ? RuntimeError::WrongArgumentCount : RuntimeError::MemberNotFound);
  }
  return InvokeMember(member->info, args, [&](CallArgs& a) { return member->handler(object, a); });
}

[[noreturn]] void RaiseRefused(std::string_view member, std::string_view why) {
  std::string detail(member);
  detail += ": ";
  detail += why;
  Raise(RuntimeError::InvalidProcedureCall, detail);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes %hh sequences once; a "%" that starts no such sequence stays as it is.
std::string PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

constexpr char16_t kSeparator = static_cast<char16_t>(std::filesystem::path::preferred_separator);

// True when ":" and names of dots are ordinary file names for @p syntax on this system: literal
// paths where the system's separator is "/" (no drive letters, streams or trimmed names there).
bool PlainNames(PathSyntax syntax) {
  return syntax == PathSyntax::Literal && kSeparator == u'/';
}

// Applies the segments of @p path to @p segments (the folder it is relative to). @p original is
// the path as the caller gave it, for the messages.
void Resolve(std::string_view path, std::vector<std::string>& segments,
             std::u16string_view original, PathSyntax syntax) {
  auto refuse = [&](std::string_view why) {
    RaiseRefused("MapPath", "'" + WideToUtf8(original) + "' " + std::string(why));
  };
  const bool plainNames = PlainNames(syntax);
  if (path.find('\0') != std::string_view::npos) refuse("contains a NUL character");
  if (!plainNames && path.find(':') != std::string_view::npos) {
    refuse("contains a drive or stream name (\":\")");
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    std::string_view segment = path.substr(start, end - start);
    start = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.empty()) refuse("leads outside the site root");
      segments.pop_back();
      continue;
    }
    // Some systems drop trailing dots and blanks from a name, which could turn ".. " or "..."
    // into a parent reference; such names are refused rather than guessed at.
    if (!plainNames && segment.find_first_not_of(". ") == std::string_view::npos &&
        std::count(segment.begin(), segment.end(), '.') >= 2) {
      refuse("has a segment of dots that could name a parent folder");
    }
    segments.emplace_back(segment);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PageResponse

namespace {

constexpr ParamInfo kStringValue[] = {{"strValue", ParamType::BStr, kIn}};
constexpr ParamInfo kBoolValue[] = {{"blValue", ParamType::Bool, kIn}};
constexpr ParamInfo kHeader[] = {{"strName", ParamType::BStr, kIn},
                                 {"strValue", ParamType::BStr, kIn}};
constexpr ParamInfo kBytes[] = {{"arData", ParamType::ByteArray, kIn}};

const std::array<Member<PageResponse>, 10> kResponseMembers = {{
    {{1, "ContentType", InvokeKind::PropertyGet, 1, {}, ParamType::BStr},
     [](PageResponse& r, CallArgs&) -> Variant { return Utf8ToWide(r.ContentType()); }},
    {{2, "ContentType", InvokeKind::PropertyPut, 1, kStringValue, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.SetContentType(a.BStr(0));
       return {};
     }},
    {{3, "AddHeader", InvokeKind::Method, 2, kHeader, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.AddHeader(a.BStr(0), a.BStr(1));
       return {};
     }},
    {{4, "Buffer", InvokeKind::PropertyGet, 3, {}, ParamType::Bool},
     [](PageResponse& r, CallArgs&) -> Variant { return Variant::Bool(r.Buffered()); }},
    {{5, "Buffer", InvokeKind::PropertyPut, 3, kBoolValue, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.SetBuffer(a.Bool(0) != 0);
       return {};
     }},
    {{6, "Status", InvokeKind::PropertyGet, 4, {}, ParamType::BStr},
     [](PageResponse& r, CallArgs&) -> Variant { return Utf8ToWide(r.Status()); }},
    {{7, "Status", InvokeKind::PropertyPut, 4, kStringValue, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.SetStatus(a.BStr(0));
       return {};
     }},
    {{8, "BinaryWrite", InvokeKind::Method, 5, kBytes, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.BinaryWrite(a.Bytes(0));
       return {};
     }},
    {{9, "Write", InvokeKind::Method, 6, kStringValue, ParamType::None},
     [](PageResponse& r, CallArgs& a) -> Variant {
       r.Write(a.BStr(0));
       return {};
     }},
    {{10, "Clear", InvokeKind::Method, 7, {}, ParamType::None},
     [](PageResponse& r, CallArgs&) -> Variant {
       r.Clear();
       return {};
     }},
}};

}  // namespace

DispId PageResponse::GetIdOfName(std::u16string_view name) const {
  return FindDispId(std::span<const Member<PageResponse>>(kResponseMembers), name);
}

Variant PageResponse::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return Dispatch(*this, kResponseMembers, id, kind, args);
}

void PageResponse::CheckHeadersOpen(std::string_view member) const {
  if (headersSent_) {
    RaiseRefused(member, "the HTTP headers have already been sent (output is not buffered)");
  }
}

void PageResponse::Written() {
  if (!buffer_) headersSent_ = true;
}

void PageResponse::SetContentType(std::u16string_view contentType) {
  CheckHeadersOpen("Response.ContentType");
  if (HasHeaderControl(contentType)) {
    RaiseRefused("Response.ContentType", "the value contains a control character");
  }
  contentType_ = WideToUtf8(contentType);
}

void PageResponse::AddHeader(std::u16string_view name, std::u16string_view value) {
  CheckHeadersOpen("Response.AddHeader");
  if (!IsHttpToken(name)) {
    RaiseRefused("Response.AddHeader", "the header name '" + WideToUtf8(name) + "' is not a token");
  }
  if (HasHeaderControl(value)) {
    RaiseRefused("Response.AddHeader",
                 "the value of the header '" + WideToUtf8(name) + "' contains a control character");
  }
  // A response carries these at most once (two dispositions make browsers refuse the download):
  // a later value replaces the earlier one.
  if (EqualsNoCase(name, "Content-Disposition") || EqualsNoCase(name, "Content-Length")) {
    std::erase_if(headers_, [&](const auto& header) { return EqualsNoCase(name, header.first); });
  }
  headers_.emplace_back(WideToUtf8(name), WideToUtf8(value));
}

void PageResponse::SetBuffer(bool buffer) {
  CheckHeadersOpen("Response.Buffer");
  buffer_ = buffer;
}

void PageResponse::SetStatus(std::u16string_view status) {
  CheckHeadersOpen("Response.Status");
  bool valid = status.size() >= 3 && status[0] >= u'1' && status[0] <= u'5';
  for (size_t i = 1; valid && i < 3; ++i)
    valid = status[i] >= u'0' && status[i] <= u'9';
  if (valid && status.size() > 3) valid = status[3] == u' ' && !HasHeaderControl(status);
  if (!valid) {
    RaiseRefused("Response.Status",
                 "'" + WideToUtf8(status) + "' is not a status code and reason such as 200 OK");
  }
  status_ = WideToUtf8(status);
}

int PageResponse::StatusCode() const {
  return (status_[0] - '0') * 100 + (status_[1] - '0') * 10 + (status_[2] - '0');
}

std::vector<std::string> PageResponse::HeaderValues(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [headerName, value] : headers_) {
    if (EqualsNoCase(Utf8ToWide(headerName), name)) values.push_back(value);
  }
  return values;
}

void PageResponse::BinaryWrite(const ByteArray& bytes) {
  body_.insert(body_.end(), bytes.Bytes().begin(), bytes.Bytes().end());
  Written();
}

void PageResponse::Write(std::u16string_view text) {
  std::string utf8 = WideToUtf8(text);
  body_.insert(body_.end(), utf8.begin(), utf8.end());
  Written();
}

void PageResponse::Clear() {
  // What was sent unbuffered cannot be taken back.
  CheckHeadersOpen("Response.Clear");
  body_.clear();
}

// ---------------------------------------------------------------------------------------------
// PageServer

namespace {

constexpr ParamInfo kPath[] = {{"strPath", ParamType::BStr, kIn}};

const std::array<Member<PageServer>, 1> kServerMembers = {{
    {{1, "MapPath", InvokeKind::Method, 1, kPath, ParamType::BStr},
     [](PageServer& s, CallArgs& a) -> Variant { return s.MapPath(a.BStr(0)); }},
}};

}  // namespace

PageServer::PageServer(std::u16string siteRoot, std::u16string_view currentPage, PathSyntax syntax)
    : siteRoot_(std::move(siteRoot)), syntax_(syntax) {
  if (siteRoot_.empty()) RaiseRefused("PageServer", "the site root is empty");
  std::string page = WideToUtf8(currentPage);
  Resolve(page, pageFolder_, currentPage, syntax_);
  // The page's folder: its path without the last segment, unless the path names a folder.
  if (!pageFolder_.empty() && !page.empty() && !IsSeparator(page.back())) pageFolder_.pop_back();
}

DispId PageServer::GetIdOfName(std::u16string_view name) const {
  return FindDispId(std::span<const Member<PageServer>>(kServerMembers), name);
}

Variant PageServer::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return Dispatch(*this, kServerMembers, id, kind, args);
}

std::u16string PageServer::MapPath(std::u16string_view virtualPath) const {
  std::string path = WideToUtf8(virtualPath);
  if (syntax_ == PathSyntax::UrlEncoded) path = PercentDecode(path);
  std::vector<std::string> segments;
  if (path.empty() || !IsSeparator(path.front())) segments = pageFolder_;
  Resolve(path, segments, virtualPath, syntax_);
  // A page's physical paths are written with backslashes on every system, as scripts expect
  // them: the component then takes an answer of MapPath handed back to it (OpenFile
  // Server.MapPath("photo.jpg")) for the physical path it is, since it maps only names without a
  // backslash, and the file system reads either separator. Literal paths keep the system's own.
  const char16_t separator = syntax_ == PathSyntax::UrlEncoded ? u'\\' : kSeparator;
  std::u16string physical = siteRoot_;
  for (char16_t& c : physical) {
    if (c == u'/' || c == u'\\') c = separator;
  }
  if (segments.empty()) return physical;
  while (!physical.empty() && physical.back() == separator) physical.pop_back();
  for (const std::string& segment : segments) {
    physical += separator;
    physical += Utf8ToWide(segment);
  }
  return physical;
}

// ---------------------------------------------------------------------------------------------
// PageContext

namespace {

const std::array<Member<PageContext>, 2> kContextMembers = {{
    {{1, "Response", InvokeKind::PropertyGet, 1, {}, ParamType::Object},
     [](PageContext& c, CallArgs&) -> Variant { return ObjectRef(c.Response()); }},
    {{2, "Server", InvokeKind::PropertyGet, 2, {}, ParamType::Object},
     [](PageContext& c, CallArgs&) -> Variant { return ObjectRef(c.Server()); }},
}};

}  // namespace

PageContext::PageContext(std::u16string siteRoot, std::u16string_view currentPage,
                         PathSyntax syntax)
    : response_(std::make_shared<PageResponse>()),
      server_(std::make_shared<PageServer>(std::move(siteRoot), currentPage, syntax)) {
}

DispId PageContext::GetIdOfName(std::u16string_view name) const {
  return FindDispId(std::span<const Member<PageContext>>(kContextMembers), name);
}

Variant PageContext::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return Dispatch(*this, kContextMembers, id, kind, args);
}

}  // namespace corvella::host
