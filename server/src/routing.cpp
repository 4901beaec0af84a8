// Request paths to pages and files, and the replies of static files.

#include "routing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace corvella::server {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const std::string& name) {
  std::string trimmed = name;
  // Some systems ignore trailing dots and blanks; "page.asp." must not pass for a file.
  while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' '))
    trimmed.pop_back();
  size_t dot = trimmed.rfind('.');
  std::string extension = dot == std::string::npos ? "" : trimmed.substr(dot);
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool IsSourceExtension(const std::string& extension) {
  return extension == ".asa" || extension == ".inc" || extension == ".asax" ||
         extension == ".config" || extension == ".cdx";
}

constexpr std::array<std::string_view, 3> kDefaultDocuments = {"default.asp", "index.asp",
                                                               "index.html"};

Route Refuse(int status) {
  Route route;
  route.status = status;
  return route;
}

}  // namespace

Route ResolvePath(const Site& site, const std::string& rawPath, const std::string& query) {
  if (rawPath.empty() || rawPath[0] != '/') return Refuse(400);
  const std::string path = PercentDecode(rawPath, false);
  if (path.find('\0') != std::string::npos || path.find('\\') != std::string::npos) {
    return Refuse(400);
  }
  std::string virtualPath;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    start = end + 1;
    if (segment.empty()) continue;
    if (segment == "." || segment == "..") return Refuse(400);
    if (segment[0] == '.' || segment.find(':') != std::string::npos) return Refuse(404);
    virtualPath += "/" + segment;
  }
  if (virtualPath.empty()) virtualPath = "/";

  std::optional<fs::path> physical = site.PhysicalFile(virtualPath);
  if (!physical) return Refuse(404);
  std::error_code error;
  if (fs::is_directory(*physical, error)) {
    if (path.back() != '/') {
      Route route;
      route.kind = Route::Kind::Redirect;
      route.virtualPath = rawPath + "/" + (query.empty() ? "" : "?" + query);
      return route;
    }
    for (std::string_view name : kDefaultDocuments) {
      std::string candidate = (virtualPath == "/" ? "" : virtualPath) + "/" + std::string(name);
      if (auto file = site.PhysicalFile(candidate); file && fs::is_regular_file(*file, error)) {
        virtualPath = candidate;
        physical = file;
        break;
      }
    }
    if (fs::is_directory(*physical, error)) return Refuse(403);
  }
  if (!fs::is_regular_file(*physical, error)) return Refuse(404);
  const std::string extension = LowerExtension(physical->filename().string());
  if (IsSourceExtension(extension)) return Refuse(404);
  Route route;
  route.kind = extension == ".asp" ? Route::Kind::Page : Route::Kind::File;
  // A name such as "page.asp." runs nowhere and is not sent either: only the exact extension
  // makes a page.
  if (route.kind == Route::Kind::Page) {
    std::string last = virtualPath.substr(virtualPath.rfind('/') + 1);
    std::string lower = last;
    for (char& c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() < 4 || lower.substr(lower.size() - 4) != ".asp") return Refuse(404);
  }
  route.virtualPath = virtualPath;
  route.physicalPath = *physical;
  return route;
}

std::string_view MimeType(const fs::path& path) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".xml", "application/xml"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".png", "image/png"},
      {".gif", "image/gif"},
      {".bmp", "image/bmp"},
      {".webp", "image/webp"},
      {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},
      {".pdf", "application/pdf"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".mp4", "video/mp4"},
      {".zip", "application/zip"},
      {".wasm", "application/wasm"},
  };
  std::string extension = LowerExtension(path.filename().string());
  for (const auto& [suffix, type] : kTypes) {
    if (extension == suffix) return type;
  }
  return "application/octet-stream";
}

HttpReply StaticFileReply(const HttpRequest& request, const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    return ErrorReply(404);
  }
  char etag[64];
  std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", static_cast<unsigned long long>(info.st_size),
                static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                    static_cast<unsigned long long>(info.st_mtim.tv_nsec));
  HttpReply reply;
  reply.headers.emplace_back("ETag", etag);
  reply.headers.emplace_back("Last-Modified", HttpDate(info.st_mtim.tv_sec));
  const std::string ifNoneMatch = request.Header("If-None-Match");
  const std::string ifModifiedSince = request.Header("If-Modified-Since");
  bool notModified = false;
  if (!ifNoneMatch.empty()) {
    notModified = ifNoneMatch == "*" || ifNoneMatch.find(etag) != std::string::npos;
  } else if (!ifModifiedSince.empty()) {
    int64_t since = ParseHttpDate(ifModifiedSince);
    notModified = since >= 0 && info.st_mtim.tv_sec <= since;
  }
  if (notModified) {
    ::close(fd);
    reply.status = 304;
    return reply;
  }
  reply.headers.emplace_back("Content-Type", std::string(MimeType(path)));
  reply.fileDescriptor = fd;
  reply.fileLength = static_cast<uint64_t>(info.st_size);
  return reply;
}

}  // namespace corvella::server
