#pragma once
// One HTTP request as the pages see it, and the reply that the server sends for it.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvella::server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

/// A request whose body has been read in full.
struct HttpRequest {
  std::string method;   ///< "GET", "POST", ...
  std::string version;  ///< "HTTP/1.1"
  std::string path;     ///< the target's path, still percent-encoded
  std::string query;    ///< the target's query string, without "?", still encoded
  HeaderList headers;   ///< in the order received
  std::vector<uint8_t> body;
  std::string remoteAddress;
  uint16_t remotePort = 0;
  std::string serverName;  ///< from the Host header, else the bound address
  uint16_t serverPort = 0;
  bool https = false;

  /// The first header named @p name (ASCII case ignored); empty when none.
  std::string Header(std::string_view name) const;
};

/// What the server sends back.
struct HttpReply {
  int status = 200;
  HeaderList headers;  ///< Content-Type among them
  std::vector<uint8_t> body;
  /// A file to send as the body instead (static files): its descriptor, owned by the reply
  /// until the server hands it to the connection, and its length.
  int fileDescriptor = -1;
  uint64_t fileLength = 0;
};

/// The reason phrase of a status code ("Not Found").
std::string_view ReasonPhrase(int status);

/// A short HTML page for an error status: "<h1>404 Not Found</h1>" and an optional detail,
/// HTML-encoded.
HttpReply ErrorReply(int status, std::string_view detail = {});

/// True when two ASCII strings are equal regardless of case.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

/// Decodes %hh sequences once (and "+" as a blank when @p plusIsSpace); a "%" that starts no
/// such sequence stays.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

/// HTML-encodes &, <, >, " (as a page's Server.HTMLEncode does).
std::string HtmlEncode(std::string_view text);

/// A time as an HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(int64_t secondsSinceEpoch);

/// Parses an HTTP date (the preferred form only); -1 when it is not one.
int64_t ParseHttpDate(std::string_view text);

}  // namespace corvella::server
