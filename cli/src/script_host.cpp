// The host of corvella run: WScript, CreateObject, and the page globals Server and Response.

#include "script_host.h"

#include <optional>
#include <utility>

#include "corvella/component/identity.h"
#include "corvella/host/script_objects.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/script/wscript.h"

namespace corvella::cli {

namespace {

using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

// The DISPIDs that the page globals add to the members of the page host's objects; far above
// theirs, so that the two never meet.
constexpr DispId kServerCreateObject = 1000;
constexpr DispId kResponseEnd = 1000;

bool IsMethod(InvokeKind kind) {
  return platform::HasKind(kind, InvokeKind::Method);
}

// The page's Server as scripts see it: the page host's MapPath, and CreateObject, which binds the
// new object to the page.
class ServerObject final : public platform::Dispatchable {
 public:
  ServerObject(ScriptHost& host, std::shared_ptr<host::PageServer> server)
      : host_(host), server_(std::move(server)) {}

  DispId GetIdOfName(std::u16string_view name) const override {
    if (platform::EqualsNoCase(name, "CreateObject")) return kServerCreateObject;
    return server_->GetIdOfName(name);
  }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    if (id != kServerCreateObject) return server_->Invoke(id, kind, args);
    if (!IsMethod(kind)) Raise(RuntimeError::MemberNotFound, "Server.CreateObject");
    if (args.size() != 1) Raise(RuntimeError::WrongArgumentCount, "Server.CreateObject");
    if (args[0].IsMissing()) Raise(RuntimeError::ArgumentNotOptional, "Server.CreateObject");
    return Variant(host_.CreateServerObject(args[0].ToBStr()));
  }

 private:
  ScriptHost& host_;
  std::shared_ptr<host::PageServer> server_;
};

// The page's Response as scripts see it: the page host's response, and End, which ends the
// script. The response is complete as it stands; the host sends it when the script has ended.
class ResponseObject final : public platform::Dispatchable {
 public:
  explicit ResponseObject(std::shared_ptr<host::PageResponse> response)
      : response_(std::move(response)) {}

  DispId GetIdOfName(std::u16string_view name) const override {
    if (platform::EqualsNoCase(name, "End")) return kResponseEnd;
    return response_->GetIdOfName(name);
  }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    if (id != kResponseEnd) return response_->Invoke(id, kind, args);
    if (!IsMethod(kind)) Raise(RuntimeError::MemberNotFound, "Response.End");
    if (!args.empty()) Raise(RuntimeError::WrongArgumentCount, "Response.End");
    throw script::ScriptExit(0);
  }

 private:
  std::shared_ptr<host::PageResponse> response_;
};

}  // namespace

std::u16string PageOfScript(const std::filesystem::path& root,
                            const std::filesystem::path& script) {
  std::filesystem::path relative = script.lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") {
    return u"/" + script.filename().generic_u16string();
  }
  return u"/" + relative.generic_u16string();
}

ScriptHost::ScriptHost(std::ostream& out, std::ostream& err, std::vector<std::u16string> arguments,
                       const ScriptSite& site)
    : out_(out), page_(std::make_shared<host::PageContext>(site.siteRoot, site.currentPage)) {
  RegisterClass(std::u16string(component::kProgIdPictron),
                [] { return component::CreateObject(component::kProgIdPictron); });
  for (const host::ScriptObjectClass& objectClass : host::ScriptObjectClasses()) {
    RegisterClass(std::u16string(objectClass.progId), objectClass.create);
  }

  auto wscript =
      std::make_shared<script::WScriptObject>(out, err, std::move(arguments), site.scriptPath);
  wscript->SetObjectFactory([this](std::u16string_view progId) { return CreateObject(progId); });
  AddNamedItem(u"WScript", wscript);
  AddNamedItem(u"Server", std::make_shared<ServerObject>(*this, page_->Server()));
  AddNamedItem(u"Response", std::make_shared<ResponseObject>(page_->Response()));
}

ScriptHost::~ScriptHost() = default;

ObjectRef ScriptHost::CreateServerObject(std::u16string_view progId) {
  ObjectRef object = CreateObject(progId);
  if (object && object->GetIdOfName(u"OnStartPage") != platform::kDispIdUnknown) {
    // Kept before the call, so that OnEndPage reaches an object whose OnStartPage failed halfway
    // and may have kept part of the page.
    pageObjects_.push_back(object);
    Variant context{ObjectRef(page_)};
    platform::InvokeByName(object, u"OnStartPage", InvokeKind::Method, std::span(&context, 1));
  }
  return object;
}

void ScriptHost::ScriptEnded() {
  std::vector<ObjectRef> objects = std::exchange(pageObjects_, {});
  std::optional<platform::Error> first;
  for (const ObjectRef& object : objects) {
    if (object->GetIdOfName(u"OnEndPage") == platform::kDispIdUnknown) continue;
    try {
      platform::InvokeByName(object, u"OnEndPage", InvokeKind::Method);
    } catch (const platform::Error& error) {
      if (!first) first = error;
    }
  }
  if (first) throw *first;
}

void ScriptHost::WritePrompt(std::u16string_view prompt, std::u16string_view title) {
  if (!title.empty()) out_ << platform::WideToUtf8(title) << '\n';
  out_ << platform::WideToUtf8(prompt) << '\n';
  out_.flush();
}

int32_t ScriptHost::MessageBox(std::u16string_view prompt, std::u16string_view title,
                               int32_t buttons) {
  WritePrompt(prompt, title);
  return script::DefaultButtonAnswer(buttons);
}

std::u16string ScriptHost::InputBox(std::u16string_view prompt, std::u16string_view title,
                                    std::u16string_view defaultText) {
  WritePrompt(prompt, title);
  std::string line;
  for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_))
    line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return std::u16string(defaultText);
  return platform::Utf8ToWide(line);
}

}  // namespace corvella::cli
