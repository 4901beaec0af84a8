// Session and Application state and their page objects.

#include "session_state.h"

#include <algorithm>
#include <array>
#include <random>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::server {

using platform::Raise;
using platform::RuntimeError;

namespace {

bool HoldsObject(const Variant& value) {
  if (value.IsObject()) return true;
  if (value.Type() != platform::VarType::VariantArray) return false;
  for (const Variant& element : value.AsArray().Elements()) {
    if (HoldsObject(element)) return true;
  }
  return false;
}

// The value of a let assignment: an object stands for its default value.
Variant PlainValue(Variant value) {
  for (int i = 0; value.IsObject() && i < 8; ++i) {
    if (!value.AsObject()) Raise(RuntimeError::ObjectNotSet);
    value = value.AsObject()->Invoke(platform::kDispIdValue,
                                     InvokeKind::Method | InvokeKind::PropertyGet, {});
  }
  return value;
}

// Item access shared by Contents, Session and Application: store(name) and store(name) = value.
Variant ItemAccess(ValueStore& store, std::string_view owner, InvokeKind kind,
                   std::span<Variant> args) {
  if (kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef) {
    if (args.size() != 2) Raise(RuntimeError::WrongArgumentCount, owner);
    Variant value = kind == InvokeKind::PropertyPut ? PlainValue(args[1]) : args[1];
    store.Set(StringArgument(args, 0, owner), value, owner);
    return {};
  }
  if (args.size() != 1) Raise(RuntimeError::WrongArgumentCount, owner);
  Variant key = PlainValue(args[0]);
  if (key.IsNumeric() && !key.IsString()) {
    std::u16string name = store.Key(static_cast<size_t>(std::max(0, key.ToI4())));
    return name.empty() ? Variant() : store.Get(name);
  }
  return store.Get(key.ToBStr());
}

}  // namespace

DispId IndexOfName(std::span<const std::string_view> names, std::u16string_view name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (platform::EqualsNoCase(name, names[i])) return static_cast<DispId>(i + 1);
  }
  return platform::kDispIdUnknown;
}

std::u16string StringArgument(std::span<Variant> args, size_t i, std::string_view member) {
  if (i >= args.size() || args[i].IsMissing()) Raise(RuntimeError::ArgumentNotOptional, member);
  return PlainValue(args[i]).ToBStr();
}

// ---------------------------------------------------------------------------------------------
// ValueStore

Variant ValueStore::Get(std::u16string_view name) const {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : values_) {
    if (platform::EqualsNoCase(key, platform::WideToUtf8(name))) return value;
  }
  return {};
}

void ValueStore::Set(std::u16string_view name, const Variant& value, std::string_view owner) {
  if (HoldsObject(value)) {
    Raise(RuntimeError::InvalidProcedureCall,
          std::string(owner) + ": objects cannot be kept between pages; store values instead");
  }
  std::lock_guard lock(mutex_);
  for (auto& [key, stored] : values_) {
    if (platform::EqualsNoCase(key, platform::WideToUtf8(name))) {
      stored = value;
      return;
    }
  }
  values_.emplace_back(std::u16string(name), value);
}

void ValueStore::Remove(std::u16string_view name) {
  std::lock_guard lock(mutex_);
  std::erase_if(values_, [&](const auto& entry) {
    return platform::EqualsNoCase(entry.first, platform::WideToUtf8(name));
  });
}

void ValueStore::RemoveAll() {
  std::lock_guard lock(mutex_);
  values_.clear();
}

size_t ValueStore::Count() const {
  std::lock_guard lock(mutex_);
  return values_.size();
}

std::u16string ValueStore::Key(size_t index) const {
  std::lock_guard lock(mutex_);
  if (index < 1 || index > values_.size()) return {};
  return values_[index - 1].first;
}

std::vector<Variant> ValueStore::Keys() const {
  std::lock_guard lock(mutex_);
  std::vector<Variant> keys;
  for (const auto& entry : values_)
    keys.emplace_back(entry.first);
  return keys;
}

// ---------------------------------------------------------------------------------------------
// ContentsObject

namespace {
constexpr std::array<std::string_view, 5> kContentsNames = {"Item", "Count", "Key", "Remove",
                                                            "RemoveAll"};
}

DispId ContentsObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kContentsNames, name);
  return id == 1 ? platform::kDispIdValue : id;
}

Variant ContentsObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  switch (id) {
    case platform::kDispIdValue:
      return ItemAccess(store_, owner_, kind, args);
    case 2:
      return Variant(static_cast<int32_t>(store_.Count()));
    case 3: {
      std::u16string key = store_.Key(
          static_cast<size_t>(std::max(0, PlainValue(args.empty() ? Variant() : args[0]).ToI4())));
      return Variant(key);
    }
    case 4:
      store_.Remove(StringArgument(args, 0, owner_ + ".Contents.Remove"));
      return {};
    case 5:
      store_.RemoveAll();
      return {};
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

// ---------------------------------------------------------------------------------------------
// SessionTable

std::shared_ptr<SessionState> SessionTable::Find(const std::string& cookie) {
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  for (const auto& session : sessions_) {
    if (session->cookie == cookie && !session->abandoned &&
        now - session->lastUse < std::chrono::minutes(session->timeoutMinutes.load())) {
      session->lastUse = now;
      return session;
    }
  }
  return nullptr;
}

std::shared_ptr<SessionState> SessionTable::Create(
    std::vector<std::shared_ptr<SessionState>>& evicted) {
  // 128 bits from the system's random source, as 32 letters.
  std::random_device random;
  std::string cookie;
  for (int i = 0; i < 4; ++i) {
    uint32_t bits = random();
    for (int k = 0; k < 8; ++k, bits >>= 4)
      cookie += static_cast<char>('A' + (bits & 15));
  }
  auto session = std::make_shared<SessionState>();
  session->cookie = cookie;
  session->lastUse = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  session->sessionId = ++nextId_ + 100000000;
  while (sessions_.size() >= maxSessions_ && !sessions_.empty()) {
    auto oldest = std::min_element(sessions_.begin(), sessions_.end(),
                                   [](auto& a, auto& b) { return a->lastUse < b->lastUse; });
    evicted.push_back(*oldest);
    sessions_.erase(oldest);
  }
  sessions_.push_back(session);
  return session;
}

void SessionTable::Remove(const std::shared_ptr<SessionState>& session) {
  std::lock_guard lock(mutex_);
  std::erase(sessions_, session);
}

std::vector<std::shared_ptr<SessionState>> SessionTable::Sweep(bool all) {
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<SessionState>> expired;
  std::erase_if(sessions_, [&](const std::shared_ptr<SessionState>& session) {
    bool done = all || session->abandoned ||
                now - session->lastUse >= std::chrono::minutes(session->timeoutMinutes.load());
    if (done) expired.push_back(session);
    return done;
  });
  return expired;
}

size_t SessionTable::Count() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

// ---------------------------------------------------------------------------------------------
// SessionObject

namespace {
constexpr std::array<std::string_view, 7> kSessionNames = {
    "Item", "SessionID", "Timeout", "Abandon", "Contents", "CodePage", "LCID"};
}

SessionObject::SessionObject(std::shared_ptr<SessionState> state)
    : state_(std::move(state)),
      contents_(std::make_shared<ContentsObject>(state_->values, "Session")) {
}

DispId SessionObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kSessionNames, name);
  return id == 1 ? platform::kDispIdValue : id;
}

Variant SessionObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  switch (id) {
    case platform::kDispIdValue:
      return ItemAccess(state_->values, "Session", kind, args);
    case 2:
      return Variant(state_->sessionId);
    case 3:
      if (kind == InvokeKind::PropertyPut) {
        int32_t minutes = PlainValue(args.back()).ToI4();
        if (minutes < 1 || minutes > 1440) {
          Raise(RuntimeError::InvalidProcedureCall, "Session.Timeout: 1 to 1440 minutes");
        }
        state_->timeoutMinutes = minutes;
        return {};
      }
      return Variant(static_cast<int32_t>(state_->timeoutMinutes));
    case 4:
      state_->abandoned = true;
      return {};
    case 5:
      if (!args.empty()) return ItemAccess(state_->values, "Session", kind, args);
      return Variant(contents_);
    case 6:
      return kind == InvokeKind::PropertyPut ? Variant() : Variant(int32_t{65001});
    case 7:
      return kind == InvokeKind::PropertyPut ? Variant() : Variant(int32_t{1033});
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

// ---------------------------------------------------------------------------------------------
// ApplicationState and ApplicationObject

void ApplicationState::Lock(const void* owner) {
  std::unique_lock lock(mutex_);
  if (owner_ == owner) {
    ++depth_;
    return;
  }
  released_.wait(lock, [&] { return owner_ == nullptr; });
  owner_ = owner;
  depth_ = 1;
}

void ApplicationState::Unlock(const void* owner) {
  std::lock_guard lock(mutex_);
  if (owner_ != owner) return;
  if (--depth_ == 0) {
    owner_ = nullptr;
    released_.notify_all();
  }
}

void ApplicationState::UnlockAll(const void* owner) {
  std::lock_guard lock(mutex_);
  if (owner_ != owner) return;
  owner_ = nullptr;
  depth_ = 0;
  released_.notify_all();
}

namespace {
constexpr std::array<std::string_view, 4> kApplicationNames = {"Item", "Lock", "Unlock",
                                                               "Contents"};
}

ApplicationObject::ApplicationObject(ApplicationState& state)
    : state_(state), contents_(std::make_shared<ContentsObject>(state.values, "Application")) {
}

ApplicationObject::~ApplicationObject() {
  state_.UnlockAll(this);
}

DispId ApplicationObject::GetIdOfName(std::u16string_view name) const {
  DispId id = IndexOfName(kApplicationNames, name);
  return id == 1 ? platform::kDispIdValue : id;
}

Variant ApplicationObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  switch (id) {
    case platform::kDispIdValue:
      return ItemAccess(state_.values, "Application", kind, args);
    case 2:
      state_.Lock(this);
      return {};
    case 3:
      state_.Unlock(this);
      return {};
    case 4:
      if (!args.empty()) return ItemAccess(state_.values, "Application", kind, args);
      return Variant(contents_);
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

}  // namespace corvella::server
