#pragma once
// The Request object of a page: QueryString, Form, Cookies, ServerVariables, TotalBytes,
// BinaryRead, and Request("name"), which searches those collections in that order.

#include <memory>
#include <string>
#include <vector>

#include "corvella/platform/dispatch.h"
#include "http_exchange.h"
#include "session_state.h"

namespace corvella::server {

/// Names with one or more values each, in the order first seen; names compared without case.
class NamedValues {
 public:
  void Add(std::u16string name, std::u16string value);
  /// The values of @p name; nullptr when there is no such name.
  const std::vector<std::u16string>* Find(std::u16string_view name) const;
  const std::vector<std::pair<std::u16string, std::vector<std::u16string>>>& Items() const {
    return items_;
  }

 private:
  std::vector<std::pair<std::u16string, std::vector<std::u16string>>> items_;
};

/// Parses "a=1&b=2&a=3" (percent- and plus-decoded, then decoded from @p codePage) into @p out.
void ParseUrlEncoded(std::string_view text, int codePage, NamedValues& out);
/// Parses a Cookie header ("a=1; b=2") into @p out (values percent-decoded).
void ParseCookieHeader(std::string_view text, int codePage, NamedValues& out);

/// Bytes in the page's code page to text (65001: UTF-8, 1252: Windows-1252).
std::u16string DecodeCodePage(std::string_view bytes, int codePage);

/// What the Request object knows about the page besides the HTTP request.
struct RequestPage {
  std::string virtualPath;   ///< SCRIPT_NAME, URL, PATH_INFO
  std::string physicalPath;  ///< PATH_TRANSLATED
  std::string siteRoot;      ///< APPL_PHYSICAL_PATH
  int codePage = 65001;
};

class RequestObject final : public platform::Dispatchable {
 public:
  RequestObject(const HttpRequest& request, RequestPage page);
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;
  /// The page that Server.Execute and Server.Transfer run sees its own SCRIPT_NAME.
  void SetPage(RequestPage page);
  const RequestPage& Page() const { return page_; }

 private:
  ObjectRef Collection(int which);
  Variant BinaryRead(std::span<Variant> args);

  const HttpRequest& request_;
  RequestPage page_;
  size_t bodyRead_ = 0;
  bool usedBinaryRead_ = false;
  bool usedForm_ = false;
  ObjectRef collections_[5];  // QueryString, Form, Cookies, ServerVariables, ClientCertificate
};

}  // namespace corvella::server
