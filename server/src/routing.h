#pragma once
// From a request's path to what answers it: a page, a static file, a redirect to the folder's
// slash, or a refusal; and the reply of a static file with its validators.

#include <filesystem>
#include <string>

#include "corvella/server/site.h"
#include "http_exchange.h"

namespace corvella::server {

struct Route {
  enum class Kind { Page, File, Redirect, Refused } kind = Kind::Refused;
  int status = 404;         ///< for Refused
  std::string virtualPath;  ///< for Page and File; the Location for Redirect
  std::filesystem::path physicalPath;
};

/// Resolves the still-encoded @p rawPath of a request (decoded once here: "%252e" stays "%2e").
/// Refused: a path that is not absolute, that holds a NUL, a backslash or a ".." or "." segment
/// (400); sources (.asa, .inc, .asax, .config), names that start with a dot, files outside the
/// root through links (404); a folder without a default document (403).
Route ResolvePath(const Site& site, const std::string& rawPath, const std::string& query);

/// The MIME type for a file name's extension; "application/octet-stream" when unknown.
std::string_view MimeType(const std::filesystem::path& path);

/// The reply of a static file, 304 when the request's If-None-Match or If-Modified-Since say
/// the client has it.
HttpReply StaticFileReply(const HttpRequest& request, const std::filesystem::path& path);

}  // namespace corvella::server
