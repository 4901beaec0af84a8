// The Request object and its collections.

#include "request_object.h"

#include <algorithm>
#include <array>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "page_errors.h"
#include "text_codec.h"

namespace corvella::server {

namespace text = host::text;

using platform::Raise;
using platform::RuntimeError;

namespace {

// One item of a collection: its values; the default value joins them with ", ".
class RequestItem final : public platform::Dispatchable {
 public:
  explicit RequestItem(std::vector<std::u16string> values) : values_(std::move(values)) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    if (platform::EqualsNoCase(name, "Item")) return platform::kDispIdValue;
    if (platform::EqualsNoCase(name, "Count")) return 1;
    return platform::kDispIdUnknown;
  }
  Variant Invoke(DispId id, InvokeKind, std::span<Variant> args) override {
    if (id == 1) return Variant(static_cast<int32_t>(values_.size()));
    if (id != platform::kDispIdValue) Raise(RuntimeError::MemberNotFound);
    if (args.empty()) {
      std::u16string joined;
      for (size_t i = 0; i < values_.size(); ++i)
        joined += (i ? u", " : u"") + values_[i];
      return Variant(joined);
    }
    int32_t index = args[0].ToI4();
    if (index < 1 || static_cast<size_t>(index) > values_.size()) {
      Raise(RuntimeError::SubscriptOutOfRange);
    }
    return Variant(values_[static_cast<size_t>(index) - 1]);
  }
  std::vector<Variant> Enumerate() override { return {values_.begin(), values_.end()}; }
  std::u16string TypeName() const override { return u"IStringList"; }

 private:
  std::vector<std::u16string> values_;
};

// A collection of the request: Item (default) by name or position, Count, Key, For Each over the
// names.
class RequestCollection final : public platform::Dispatchable {
 public:
  explicit RequestCollection(NamedValues values) : values_(std::move(values)) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    if (platform::EqualsNoCase(name, "Item")) return platform::kDispIdValue;
    if (platform::EqualsNoCase(name, "Count")) return 1;
    if (platform::EqualsNoCase(name, "Key")) return 2;
    return platform::kDispIdUnknown;
  }
  Variant Invoke(DispId id, InvokeKind, std::span<Variant> args) override {
    const auto& items = values_.Items();
    if (id == 1) return Variant(static_cast<int32_t>(items.size()));
    if (id != platform::kDispIdValue && id != 2) Raise(RuntimeError::MemberNotFound);
    if (args.empty()) {
      if (id == 2) Raise(RuntimeError::ArgumentNotOptional, "Key");
      // The collection's own value: the whole encoded string is not kept; answer the names.
      std::u16string all;
      for (const auto& [name, list] : items)
        for (const auto& value : list)
          all += (all.empty() ? u"" : u"&") + name + u"=" + value;
      return Variant(all);
    }
    const Variant& key = args[0];
    if (key.IsNumeric() && !key.IsString()) {
      int32_t index = key.ToI4();
      if (index < 1 || static_cast<size_t>(index) > items.size()) {
        Raise(RuntimeError::SubscriptOutOfRange);
      }
      const auto& item = items[static_cast<size_t>(index) - 1];
      if (id == 2) return Variant(item.first);
      return Variant(ObjectRef(std::make_shared<RequestItem>(item.second)));
    }
    const std::vector<std::u16string>* found = values_.Find(key.ToBStr());
    if (found == nullptr) return {};
    return Variant(ObjectRef(std::make_shared<RequestItem>(*found)));
  }
  std::vector<Variant> Enumerate() override {
    std::vector<Variant> names;
    for (const auto& item : values_.Items())
      names.emplace_back(item.first);
    return names;
  }
  const NamedValues& Values() const { return values_; }

 private:
  NamedValues values_;
};

constexpr std::array<std::string_view, 8> kRequestNames = {
    "Item",       "QueryString", "Form", "Cookies", "ServerVariables", "ClientCertificate",
    "TotalBytes", "BinaryRead"};

std::u16string Ascii(std::string_view text) {
  return platform::Utf8ToWide(text);
}

}  // namespace

void NamedValues::Add(std::u16string name, std::u16string value) {
  for (auto& [key, values] : items_) {
    if (platform::EqualsNoCase(key, platform::WideToUtf8(name))) {
      values.push_back(std::move(value));
      return;
    }
  }
  items_.emplace_back(std::move(name), std::vector<std::u16string>{std::move(value)});
}

const std::vector<std::u16string>* NamedValues::Find(std::u16string_view name) const {
  const std::string utf8 = platform::WideToUtf8(name);
  for (const auto& [key, values] : items_) {
    if (platform::EqualsNoCase(key, utf8)) return &values;
  }
  return nullptr;
}

std::u16string DecodeCodePage(std::string_view bytes, int codePage) {
  if (codePage == 1252) {
    return text::DecodeWindows1252(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  return platform::Utf8ToWide(bytes);
}

void ParseUrlEncoded(std::string_view text, int codePage, NamedValues& out) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    size_t equals = pair.find('=');
    std::string_view name = pair.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? "" : pair.substr(equals + 1);
    out.Add(DecodeCodePage(PercentDecode(name, true), codePage),
            DecodeCodePage(PercentDecode(value, true), codePage));
  }
}

void ParseCookieHeader(std::string_view text, int codePage, NamedValues& out) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(start, end - start);
    start = end + 1;
    while (!pair.empty() && pair.front() == ' ')
      pair.remove_prefix(1);
    size_t equals = pair.find('=');
    if (pair.empty() || equals == std::string_view::npos) continue;
    out.Add(DecodeCodePage(PercentDecode(pair.substr(0, equals), false), codePage),
            DecodeCodePage(PercentDecode(pair.substr(equals + 1), true), codePage));
  }
}

RequestObject::RequestObject(const HttpRequest& request, RequestPage page)
    : request_(request), page_(std::move(page)) {
}

void RequestObject::SetPage(RequestPage page) {
  page_ = std::move(page);
  collections_[3].reset();  // ServerVariables name the page
}

DispId RequestObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kRequestNames, name);
  return id == 1 ? platform::kDispIdValue : id;
}

ObjectRef RequestObject::Collection(int which) {
  ObjectRef& slot = collections_[which];
  if (slot) return slot;
  NamedValues values;
  switch (which) {
    case 0:
      ParseUrlEncoded(request_.query, page_.codePage, values);
      break;
    case 1: {
      if (usedBinaryRead_) server::Raise(PageObjectError::FormAfterBinaryRead);
      usedForm_ = true;
      std::string type = request_.Header("Content-Type");
      if (EqualsAsciiNoCase(type.substr(0, 33), "application/x-www-form-urlencoded")) {
        ParseUrlEncoded(std::string_view(reinterpret_cast<const char*>(request_.body.data()),
                                         request_.body.size()),
                        page_.codePage, values);
      }
      break;
    }
    case 2:
      ParseCookieHeader(request_.Header("Cookie"), page_.codePage, values);
      break;
    case 3: {
      auto add = [&](std::string_view name, const std::string& value) {
        values.Add(Ascii(name), platform::Utf8ToWide(value));
      };
      std::string allHttp, allRaw;
      add("REQUEST_METHOD", request_.method);
      add("QUERY_STRING", request_.query);
      add("SCRIPT_NAME", page_.virtualPath);
      add("PATH_INFO", page_.virtualPath);
      add("URL", page_.virtualPath);
      add("PATH_TRANSLATED", page_.physicalPath);
      add("APPL_PHYSICAL_PATH", page_.siteRoot);
      add("APPL_MD_PATH", "/");
      add("REMOTE_ADDR", request_.remoteAddress);
      add("REMOTE_HOST", request_.remoteAddress);
      add("REMOTE_PORT", std::to_string(request_.remotePort));
      add("SERVER_NAME", request_.serverName);
      add("SERVER_PORT", std::to_string(request_.serverPort));
      add("SERVER_PORT_SECURE", request_.https ? "1" : "0");
      add("SERVER_PROTOCOL", request_.version);
      add("SERVER_SOFTWARE", "Corvella");
      add("GATEWAY_INTERFACE", "CGI/1.1");
      add("HTTPS", request_.https ? "on" : "off");
      add("CONTENT_TYPE", request_.Header("Content-Type"));
      add("CONTENT_LENGTH", std::to_string(request_.body.size()));
      add("LOGON_USER", "");
      add("AUTH_TYPE", "");
      for (const auto& [name, value] : request_.headers) {
        std::string key = "HTTP_";
        for (char c : name)
          key += c == '-' ? '_' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        add(key, value);
        allHttp += key + ":" + value + "\n";
        allRaw += name + ": " + value + "\r\n";
      }
      add("ALL_HTTP", allHttp);
      add("ALL_RAW", allRaw);
      break;
    }
    default:
      break;
  }
  slot = std::make_shared<RequestCollection>(std::move(values));
  return slot;
}

Variant RequestObject::BinaryRead(std::span<Variant> args) {
  if (usedForm_) server::Raise(PageObjectError::BinaryReadAfterForm);
  usedBinaryRead_ = true;
  if (args.empty()) Raise(RuntimeError::ArgumentNotOptional, "Request.BinaryRead");
  double wanted = args[0].ToR8();
  if (wanted < 0) Raise(RuntimeError::InvalidProcedureCall, "Request.BinaryRead: a negative count");
  size_t count =
      std::min(static_cast<size_t>(std::min(wanted, 4.0e9)), request_.body.size() - bodyRead_);
  auto bytes = platform::ByteArray::FromBytes(std::span(request_.body).subspan(bodyRead_, count));
  bodyRead_ += count;
  args[0] = Variant(static_cast<int32_t>(count));
  return Variant(std::move(bytes));
}

Variant RequestObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  switch (id) {
    case platform::kDispIdValue: {
      if (args.empty()) Raise(RuntimeError::ArgumentNotOptional, "Request");
      // QueryString, Form, Cookies, ClientCertificate, ServerVariables: the classic order.
      for (int which : {0, 1, 2, 4, 3}) {
        if (which == 1 && usedBinaryRead_) continue;
        ObjectRef collection = Collection(which);
        Variant item = collection->Invoke(platform::kDispIdValue, kind, args);
        if (!item.IsEmpty()) return item;
      }
      return {};
    }
    case 2:
    case 3:
    case 4:
    case 5:
    case 6: {
      ObjectRef collection = Collection(id - 2);
      if (args.empty()) return Variant(collection);
      return collection->Invoke(platform::kDispIdValue, kind, args);
    }
    case 7:
      return Variant(static_cast<int32_t>(request_.body.size()));
    case 8:
      return BinaryRead(args);
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

}  // namespace corvella::server
