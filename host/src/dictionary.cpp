// The dictionary object of scripts: a list in the order of addition, indexed by a hash table of
// normalised keys.

#include "corvella/host/dictionary.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "corvella/platform/error.h"
#include "member_table.h"

namespace corvella::host {

namespace {

using detail::kGet;
using detail::kMethod;
using detail::kPut;
using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::ParamInfo;
using platform::ParamType;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VarType;
using Member = detail::Member<Dictionary>;

enum KeyKind : uint8_t { kEmpty, kNull, kNumber, kText, kBool, kDate, kObject, kOther };

// The type codes of the numeric VARIANT types (Integer, Long, Single, Double, Currency, Decimal,
// the signed and unsigned 8- to 64-bit integers): one key kind, compared by value.
bool IsNumberType(uint16_t type) {
  switch (type) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 14:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return true;
    default:
      return false;
  }
}

// The upper case that text comparison uses: ASCII, Latin-1, Greek and Cyrillic letters.
char16_t FoldChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

constexpr ParamInfo kKey[] = {{"Key", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kKeyItem[] = {{"Key", ParamType::Variant, platform::kIn},
                                  {"Item", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kMode[] = {{"comp", ParamType::I4, platform::kIn}};

const std::array<Member, 12> kMembers = {{
    {{0, "Item", kGet, 0, kKey, ParamType::Variant},
     [](Dictionary& d, CallArgs& a) { return d.Item(a.Var(0)); }},
    {{1, "Item", kPut, 0, kKeyItem, ParamType::None},
     [](Dictionary& d, CallArgs& a) {
       d.Item(a.Var(0)) = a.Var(1);
       return Variant();
     }},
    {{2, "Add", kMethod, 1, kKeyItem, ParamType::None},
     [](Dictionary& d, CallArgs& a) {
       d.Add(a.Var(0), a.Var(1));
       return Variant();
     }},
    {{3, "Count", kGet, 2, {}, ParamType::I4},
     [](Dictionary& d, CallArgs&) { return Variant(static_cast<int32_t>(d.Count())); }},
    {{4, "Exists", kMethod, 3, kKey, ParamType::Bool},
     [](Dictionary& d, CallArgs& a) { return Variant::Bool(d.Exists(a.Var(0))); }},
    {{5, "Items", kMethod, 4, {}, ParamType::Variant},
     [](Dictionary& d, CallArgs&) { return Variant(d.Items()); }},
    {{6, "Key", kPut, 5, kKeyItem, ParamType::None},
     [](Dictionary& d, CallArgs& a) {
       d.Rename(a.Var(0), a.Var(1));
       return Variant();
     }},
    {{7, "Keys", kMethod, 6, {}, ParamType::Variant},
     [](Dictionary& d, CallArgs&) { return Variant(d.Keys()); }},
    {{8, "Remove", kMethod, 7, kKey, ParamType::None},
     [](Dictionary& d, CallArgs& a) {
       d.Remove(a.Var(0));
       return Variant();
     }},
    {{9, "RemoveAll", kMethod, 8, {}, ParamType::None},
     [](Dictionary& d, CallArgs&) {
       d.RemoveAll();
       return Variant();
     }},
    {{10, "CompareMode", kGet, 9, {}, ParamType::I4},
     [](Dictionary& d, CallArgs&) { return Variant(d.CompareMode()); }},
    {{11, "CompareMode", InvokeKind::PropertyPut, 9, kMode, ParamType::None},
     [](Dictionary& d, CallArgs& a) {
       d.SetCompareMode(a.I4(0));
       return Variant();
     }},
}};

}  // namespace

bool Dictionary::Normal::operator==(const Normal& other) const {
  if (kind != other.kind) return false;
  switch (kind) {
    case kNumber:
    case kBool:
    case kDate:
      return number == other.number || (std::isnan(number) && std::isnan(other.number));
    case kText:
      return text == other.text;
    case kObject:
      return object == other.object;
    default:
      return true;
  }
}

size_t Dictionary::NormalHash::operator()(const Normal& key) const {
  size_t hash = key.kind;
  switch (key.kind) {
    case kNumber:
    case kBool:
    case kDate: {
      // 0 and -0 are one key, as are all NaNs.
      double value = key.number == 0 ? 0.0 : std::isnan(key.number) ? NAN : key.number;
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      return hash ^ std::hash<uint64_t>()(bits);
    }
    case kText:
      return hash ^ std::hash<std::u16string>()(key.text);
    case kObject:
      return hash ^ std::hash<const void*>()(key.object);
    default:
      return hash;
  }
}

Dictionary::Dictionary() = default;
Dictionary::~Dictionary() = default;

Dictionary::Normal Dictionary::Normalize(const Variant& key) const {
  Normal normal;
  const auto type = static_cast<uint16_t>(key.Type());
  if (key.IsArray()) Raise(RuntimeError::TypeMismatch, "an array cannot be a key");
  if (IsNumberType(type)) {
    normal.kind = kNumber;
    normal.number = key.ToR8();
    return normal;
  }
  switch (key.Type()) {
    case VarType::Empty:
      normal.kind = kEmpty;
      break;
    case VarType::Null:
      normal.kind = kNull;
      break;
    case VarType::Bool:
      normal.kind = kBool;
      normal.number = key.AsBool();
      break;
    case VarType::Date:
      normal.kind = kDate;
      normal.number = key.AsDate();
      break;
    case VarType::BStr:
      normal.kind = kText;
      normal.text = key.AsBStr();
      if (compareMode_ != 0) {
        for (char16_t& c : normal.text)
          c = FoldChar(c);
      }
      break;
    case VarType::Dispatch:
      normal.kind = kObject;
      normal.object = key.AsObject().get();
      break;
    default:
      // Error values (an omitted argument passed on) are keys by their code.
      normal.kind = kOther;
      normal.text = key.ToBStr();
      break;
  }
  return normal;
}

void Dictionary::Add(const Variant& key, Variant item) {
  Normal normal = Normalize(key);
  if (index_.count(normal) != 0) Raise(RuntimeError::KeyAlreadyExists);
  entries_.push_back(Entry{key, std::move(item)});
  index_.emplace(std::move(normal), std::prev(entries_.end()));
}

Variant& Dictionary::Item(const Variant& key) {
  Normal normal = Normalize(key);
  auto found = index_.find(normal);
  if (found != index_.end()) return found->second->item;
  entries_.push_back(Entry{key, Variant()});
  auto added = std::prev(entries_.end());
  index_.emplace(std::move(normal), added);
  return added->item;
}

bool Dictionary::Exists(const Variant& key) const {
  return index_.count(Normalize(key)) != 0;
}

void Dictionary::Remove(const Variant& key) {
  auto found = index_.find(Normalize(key));
  if (found == index_.end()) Raise(RuntimeError::ElementNotFound);
  entries_.erase(found->second);
  index_.erase(found);
}

void Dictionary::RemoveAll() {
  index_.clear();
  entries_.clear();
}

void Dictionary::Rename(const Variant& key, const Variant& newKey) {
  auto found = index_.find(Normalize(key));
  if (found == index_.end()) Raise(RuntimeError::ElementNotFound);
  Normal renamed = Normalize(newKey);
  auto taken = index_.find(renamed);
  if (taken != index_.end()) {
    if (taken == found) {
      found->second->key = newKey;  // the same key in another spelling or type
      return;
    }
    Raise(RuntimeError::KeyAlreadyExists);
  }
  EntryList::iterator entry = found->second;
  index_.erase(found);
  entry->key = newKey;
  index_.emplace(std::move(renamed), entry);
}

platform::VariantArray Dictionary::Keys() const {
  std::vector<Variant> keys;
  keys.reserve(entries_.size());
  for (const Entry& entry : entries_)
    keys.push_back(entry.key);
  return platform::VariantArray::FromElements(std::move(keys));
}

platform::VariantArray Dictionary::Items() const {
  std::vector<Variant> items;
  items.reserve(entries_.size());
  for (const Entry& entry : entries_)
    items.push_back(entry.item);
  return platform::VariantArray::FromElements(std::move(items));
}

void Dictionary::SetCompareMode(int32_t mode) {
  if (mode < 0 || !entries_.empty()) Raise(RuntimeError::InvalidProcedureCall, "CompareMode");
  compareMode_ = mode;
}

std::vector<Variant> Dictionary::Enumerate() {
  std::vector<Variant> keys;
  keys.reserve(entries_.size());
  for (const Entry& entry : entries_)
    keys.push_back(entry.key);
  return keys;
}

DispId Dictionary::GetIdOfName(std::u16string_view name) const {
  return detail::FindId(kMembers, name);
}

Variant Dictionary::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return detail::Dispatch(*this, kMembers, id, kind, args);
}

}  // namespace corvella::host
