#pragma once
/// @file
/// An embedded page host: the objects that a web page hands to the component, implemented here so
/// that hosts, tests and the command line can run the component without a web server.
///
/// A PageContext is the page's scripting context. Its properties "Response" and "Server" answer a
/// PageResponse, which collects one HTTP response (status, content type, headers, body), and a
/// PageServer, whose "MapPath" maps a virtual path of the site to a physical path below the site
/// root. All three are Dispatchable: scripts and the component reach their members by name,
/// without regard to case. Hosts use the C++ members directly.
///
/// Strings at the dispatch boundary are UTF-16; what the host reads back is UTF-8 text and raw
/// body bytes. Errors are raised as platform::Error (runtime error 5, "Invalid procedure call or
/// argument", with a detail naming the member and the reason, for refused arguments).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvella/platform/byte_array.h"
#include "corvella/platform/dispatch.h"

namespace corvella::host {

using platform::ByteArray;
using platform::DispId;
using platform::Dispatchable;
using platform::InvokeKind;
using platform::Variant;

/// One HTTP response as a page builds it.
///
/// Scriptable members: ContentType (get/let), AddHeader(name, value), Buffer (get/let), Status
/// (get/let), BinaryWrite(bytes), Write(text), Clear().
///
/// Buffering: with Buffer true (the default) nothing counts as sent until the host takes the
/// response. With Buffer false the first Write or BinaryWrite sends the status and headers; from
/// then on ContentType, Status, AddHeader, Buffer and Clear raise runtime error 5, as on a web
/// server whose output has started.
///
/// Header text (names, values, the content type, the status line) may hold no control character
/// but the horizontal tab.
class PageResponse final : public Dispatchable {
 public:
  PageResponse() = default;

  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;

  // What scripts do (also callable from C++) ---------------------------------------------------
  /// Sets the Content-Type; a value with a control character is refused.
  void SetContentType(std::u16string_view contentType);
  /// Appends a header. The name must be an HTTP token; the value must not contain a control
  /// character (refused with runtime error 5, so that no header can be smuggled in). A
  /// Content-Disposition or Content-Length replaces the one added before, if any.
  void AddHeader(std::u16string_view name, std::u16string_view value);
  /// Turns buffering on or off.
  void SetBuffer(bool buffer);
  /// Sets the status line's code and reason, for example "404 Not Found": three digits, then
  /// optionally a blank and a reason without control characters.
  void SetStatus(std::u16string_view status);
  /// Appends the bytes to the body unchanged; an unallocated array appends nothing.
  void BinaryWrite(const ByteArray& bytes);
  /// Appends the text to the body, encoded as UTF-8.
  void Write(std::u16string_view text);
  /// Discards the body written so far; status and headers stay. Refused once unbuffered output
  /// has been sent.
  void Clear();

  // What the host reads --------------------------------------------------------------------------
  /// The status line's code and reason, "200 OK" by default.
  const std::string& Status() const { return status_; }
  /// The numeric status code, 200 by default.
  int StatusCode() const;
  /// The content type, "text/html" by default.
  const std::string& ContentType() const { return contentType_; }
  /// The headers added by AddHeader, in order, names as given (Content-Type is not among them).
  const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }
  /// The values of every header named @p name (compared without regard to ASCII case).
  std::vector<std::string> HeaderValues(std::string_view name) const;
  /// The body bytes.
  std::span<const uint8_t> Body() const { return body_; }
  bool Buffered() const { return buffer_; }
  /// True once unbuffered output has started, so that headers can no longer change.
  bool HeadersSent() const { return headersSent_; }

 private:
  void CheckHeadersOpen(std::string_view member) const;
  void Written();

  std::string status_ = "200 OK";
  std::string contentType_ = "text/html";
  std::vector<std::pair<std::string, std::string>> headers_;
  std::vector<uint8_t> body_;
  bool buffer_ = true;
  bool headersSent_ = false;
};

/// How MapPath reads the text of a path.
enum class PathSyntax : uint8_t {
  /// As a web server reads the path of a URL: percent-encoded bytes are decoded first.
  UrlEncoded,
  /// As a shell reads a file name: every character stands for itself, so "100%25.jpg" and
  /// "a%20b.jpg" name files of exactly those names. Where the system's own separator is "/", a
  /// ":" and a segment of dots and blanks ("...") are ordinary file names there and are accepted;
  /// on other systems they are refused as with UrlEncoded. Meant for hosts that bind a page to
  /// the file system of a command line.
  Literal,
};

/// The page's server object: maps virtual paths of the site to physical paths.
///
/// Scriptable member: MapPath(path).
class PageServer final : public Dispatchable {
 public:
  /// @p siteRoot is the physical folder that holds the site; @p currentPage is the virtual path
  /// of the running page ("/gallery/show.asp"; a path without a leading "/" is taken from the
  /// root); @p syntax says how paths, the page's included, are read. Runtime error 5 when the
  /// page path leaves the site root.
  PageServer(std::u16string siteRoot, std::u16string_view currentPage,
             PathSyntax syntax = PathSyntax::UrlEncoded);

  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;

  /// Maps a virtual path to a physical one, the way a web server does:
  /// - percent-encoded bytes (%hh) are decoded first, once ("%2e%2e/" is "../"); a "%" that does
  ///   not start such a sequence stays as it is (not with PathSyntax::Literal, where nothing is
  ///   decoded);
  /// - a path starting with "/" (or "\") is taken from the site root, any other from the folder
  ///   of the current page;
  /// - "/" and "\" both separate segments; empty and "." segments are dropped; ".." removes the
  ///   segment before it.
  /// The answer is the site root followed by the remaining segments, joined by the system's
  /// separator. Refused with runtime error 5: a path that would leave the site root, a decoded
  /// NUL, a ":" (a drive or stream name), and a segment of dots and blanks with two or more
  /// dots other than ".." itself ("...", ".. "), which some systems read as "..".
  /// PathSyntax::Literal accepts the last two where the system's separator is "/".
  std::u16string MapPath(std::u16string_view virtualPath) const;

  const std::u16string& SiteRoot() const { return siteRoot_; }
  PathSyntax Syntax() const { return syntax_; }

 private:
  std::u16string siteRoot_;
  PathSyntax syntax_;
  std::vector<std::string> pageFolder_;  // segments of the current page's folder, UTF-8
};

/// The page's scripting context: the object that a page host passes to OnStartPage.
///
/// Scriptable members: Response and Server (property gets).
class PageContext final : public Dispatchable {
 public:
  /// A page of the site below @p siteRoot whose virtual path is @p currentPage, with a new,
  /// empty response; its Server reads paths by @p syntax.
  PageContext(std::u16string siteRoot, std::u16string_view currentPage,
              PathSyntax syntax = PathSyntax::UrlEncoded);

  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;

  const std::shared_ptr<PageResponse>& Response() const { return response_; }
  const std::shared_ptr<PageServer>& Server() const { return server_; }

 private:
  std::shared_ptr<PageResponse> response_;
  std::shared_ptr<PageServer> server_;
};

}  // namespace corvella::host
