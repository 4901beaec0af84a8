#pragma once
/// @file
/// "Scripting.Dictionary": an associative array of scripts that keeps its keys in the order they
/// were added.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "corvella/platform/dispatch.h"

namespace corvella::host {

/// The dictionary object of scripts. Scriptable members:
///   Add key, item            adds a pair; runtime error 457 when the key is there already
///   Item(key) [= item]       the default member: reading a missing key adds it with Empty;
///                            assigning (Let or Set) adds or replaces
///   Exists(key)              Boolean; never adds
///   Remove key, RemoveAll    runtime error 32811 when the key is missing
///   Keys, Items              zero-based arrays, in the order of addition
///   Count                    the number of pairs
///   Key(key) = newKey        renames a key in place: 32811 when it is missing, 457 when the new
///                            key is taken
///   CompareMode              0 binary (default), 1 text (case-insensitive), 2 database (as text);
///                            settable only while the dictionary is empty (runtime error 5)
///   For Each                 visits the keys
///
/// Keys may be of any type but arrays (runtime error 13). Numbers of every numeric type are one
/// key by value (1, 1.0 and CByte(1) are the same key), while a string is never equal to a
/// number ("1" and 1 are two keys); Booleans, dates, Empty and Null are kinds of their own;
/// objects are keys by identity. Lookups take constant time.
class Dictionary final : public platform::Dispatchable {
 public:
  Dictionary();
  ~Dictionary() override;

  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"Dictionary"; }
  std::vector<platform::Variant> Enumerate() override;

  // The operations behind the members, for hosts and tests.
  void Add(const platform::Variant& key, platform::Variant item);
  /// The item of @p key, added as Empty when it is missing.
  platform::Variant& Item(const platform::Variant& key);
  bool Exists(const platform::Variant& key) const;
  void Remove(const platform::Variant& key);
  void RemoveAll();
  void Rename(const platform::Variant& key, const platform::Variant& newKey);
  size_t Count() const { return entries_.size(); }
  platform::VariantArray Keys() const;
  platform::VariantArray Items() const;
  int32_t CompareMode() const { return compareMode_; }
  void SetCompareMode(int32_t mode);

 private:
  /// A key reduced to what decides equality: its kind, a number, a text (folded in text mode),
  /// an object's identity.
  struct Normal {
    uint8_t kind = 0;
    double number = 0;
    std::u16string text;
    const void* object = nullptr;
    bool operator==(const Normal& other) const;
  };
  struct NormalHash {
    size_t operator()(const Normal& key) const;
  };
  struct Entry {
    platform::Variant key;
    platform::Variant item;
  };
  using EntryList = std::list<Entry>;

  Normal Normalize(const platform::Variant& key) const;

  EntryList entries_;
  std::unordered_map<Normal, EntryList::iterator, NormalHash> index_;
  int32_t compareMode_ = 0;
};

}  // namespace corvella::host
