// Helpers of requests and replies: reasons, error pages, encodings, dates.

#include "http_exchange.h"

#include <ctime>

namespace corvella::server {

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsAsciiNoCase(key, name)) return value;
  }
  return {};
}

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Object moved";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

HttpReply ErrorReply(int status, std::string_view detail) {
  HttpReply reply;
  reply.status = status;
  reply.headers.emplace_back("Content-Type", "text/html; charset=utf-8");
  reply.headers.emplace_back("Cache-Control", "no-store");
  std::string title = std::to_string(status) + " " + std::string(ReasonPhrase(status));
  std::string html = "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" +
                     title + "</h1>";
  if (!detail.empty()) html += "<pre>" + HtmlEncode(detail) + "</pre>";
  html += "</body></html>\n";
  reply.body.assign(html.begin(), html.end());
  return reply;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2])));
      i += 2;
    } else if (plusIsSpace && text[i] == '+') {
      decoded.push_back(' ');
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

std::string HtmlEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string HttpDate(int64_t secondsSinceEpoch) {
  std::time_t time = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm tm{};
  gmtime_r(&time, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return text;
}

int64_t ParseHttpDate(std::string_view text) {
  // "Sun, 06 Nov 1994 08:49:37 GMT"
  if (text.size() != 29 || text.substr(25) != " GMT") return -1;
  std::tm tm{};
  char month[4] = {};
  if (std::sscanf(std::string(text).c_str(), "%*3s, %2d %3s %4d %2d:%2d:%2d", &tm.tm_mday, month,
                  &tm.tm_year, &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6) {
    return -1;
  }
  tm.tm_mon = -1;
  for (int i = 0; i < 12; ++i) {
    if (std::string_view(month) == kMonths[i]) tm.tm_mon = i;
  }
  if (tm.tm_mon < 0) return -1;
  tm.tm_year -= 1900;
  return static_cast<int64_t>(timegm(&tm));
}

}  // namespace corvella::server
