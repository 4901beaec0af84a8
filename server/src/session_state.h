#pragma once
// Session and Application state: values that outlive a page, kept per visitor (Session, found by
// its cookie) and per site (Application), and the objects through which pages reach them.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvella/platform/dispatch.h"

namespace corvella::server {

using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Variant;

/// Named values, names compared without case, kept in the order of their first assignment. Safe
/// to use from many threads. Values are plain data and arrays of it: objects belong to the engine
/// of one page and are refused.
class ValueStore {
 public:
  Variant Get(std::u16string_view name) const;
  /// Stores a copy; runtime error 5 (with @p owner in the message) for a value holding an object.
  void Set(std::u16string_view name, const Variant& value, std::string_view owner);
  void Remove(std::u16string_view name);
  void RemoveAll();
  size_t Count() const;
  /// The name at @p index (from 1); empty when out of range.
  std::u16string Key(size_t index) const;
  std::vector<Variant> Keys() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::u16string, Variant>> values_;
};

/// The Contents collection of Session or Application: Item (default), Count, Key, Remove,
/// RemoveAll, and For Each over the names.
class ContentsObject final : public platform::Dispatchable {
 public:
  ContentsObject(ValueStore& store, std::string owner) : store_(store), owner_(std::move(owner)) {}
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;
  std::vector<Variant> Enumerate() override { return store_.Keys(); }

 private:
  ValueStore& store_;
  std::string owner_;
};

/// One visitor's session.
struct SessionState {
  std::string cookie;                   ///< the random value of the session cookie
  int32_t sessionId = 0;                ///< SessionID as pages read it
  std::atomic<int> timeoutMinutes{20};  ///< read by the sweeper while a page may set it
  std::chrono::steady_clock::time_point lastUse;
  std::atomic<bool> abandoned{false};
  bool started = false;  ///< Session_OnStart has run
  ValueStore values;
  /// Held while a page of this session runs, so that its pages run one at a time.
  std::mutex pageLock;
};

/// Every session of the site. Sessions expire after their Timeout without a request; the
/// expired ones are handed to @p onEnd (for Session_OnEnd) by Sweep.
class SessionTable {
 public:
  explicit SessionTable(size_t maxSessions) : maxSessions_(maxSessions) {}
  /// The session of @p cookie, when it is live.
  std::shared_ptr<SessionState> Find(const std::string& cookie);
  /// A new session with a fresh random cookie. When the table is full, the session used least
  /// recently is ended first (returned in @p evicted).
  std::shared_ptr<SessionState> Create(std::vector<std::shared_ptr<SessionState>>& evicted);
  /// Removes a session (after Abandon).
  void Remove(const std::shared_ptr<SessionState>& session);
  /// Removes and answers the sessions whose time has run out (or all, at shutdown).
  std::vector<std::shared_ptr<SessionState>> Sweep(bool all);
  size_t Count() const;

 private:
  mutable std::mutex mutex_;
  size_t maxSessions_;
  int32_t nextId_ = 0;
  std::vector<std::shared_ptr<SessionState>> sessions_;
};

/// The Session object of one page.
class SessionObject final : public platform::Dispatchable {
 public:
  explicit SessionObject(std::shared_ptr<SessionState> state);
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;
  std::vector<Variant> Enumerate() override { return state_->values.Keys(); }

 private:
  std::shared_ptr<SessionState> state_;
  ObjectRef contents_;
};

/// The site's shared state: its values and the lock that pages take with Application.Lock.
class ApplicationState {
 public:
  ValueStore values;
  /// Takes the lock for @p owner (a page); a page that holds it may take it again.
  void Lock(const void* owner);
  /// Releases one Lock of @p owner; nothing when it does not hold it.
  void Unlock(const void* owner);
  /// Releases every Lock of @p owner (at the end of its page).
  void UnlockAll(const void* owner);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  const void* owner_ = nullptr;
  int depth_ = 0;
};

/// The Application object of one page; the page's locks are released when it is destroyed.
class ApplicationObject final : public platform::Dispatchable {
 public:
  explicit ApplicationObject(ApplicationState& state);
  ~ApplicationObject() override;
  DispId GetIdOfName(std::u16string_view name) const override;
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override;
  std::vector<Variant> Enumerate() override { return state_.values.Keys(); }

 private:
  ApplicationState& state_;
  ObjectRef contents_;
};

/// Finds @p name among @p names (without case): its index + 1 as a DISPID, else unknown.
DispId IndexOfName(std::span<const std::string_view> names, std::u16string_view name);

/// The argument @p i as a string (an omitted one raises 449).
std::u16string StringArgument(std::span<Variant> args, size_t i, std::string_view member);

}  // namespace corvella::server
