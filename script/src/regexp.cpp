// The regular expression object of scripts and its Matches, Match and SubMatches collections,
// matched by PCRE2 (16-bit code units, the strings' own) with its JIT where the machine has one.

#define PCRE2_CODE_UNIT_WIDTH 16
#include "regexp.h"

#include <pcre2.h>

#include <array>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::script {

namespace {

using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::ParamInfo;
using platform::ParamType;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

constexpr InvokeKind kGet = InvokeKind::Method | InvokeKind::PropertyGet;
constexpr InvokeKind kPut = InvokeKind::PropertyPut;
constexpr InvokeKind kMethod = InvokeKind::Method;

// Limits of one call. The step limit bounds backtracking (a few tenths of a second at most); the
// depth and heap limits bound the interpreter's memory when the JIT is not available; the JIT
// stack bounds the compiled matcher's. Results (match records, replaced text) are bounded by the
// engine's default string limit.
constexpr uint32_t kMatchLimit = 10'000'000;
constexpr uint32_t kDepthLimit = 100'000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
constexpr size_t kJitStackBytes = 1024 * 1024;
constexpr size_t kMaxPatternLength = size_t{1} << 18;
constexpr size_t kMaxResultLength = size_t{1} << 28;
constexpr size_t kMaxMatchOffsets = size_t{1} << 24;

template <typename Object>
struct Member {
  platform::MemberInfo info;
  Variant (*handler)(Object&, CallArgs&);
};

template <typename Object, size_t N>
Variant Dispatch(Object& object, const std::array<Member<Object>, N>& table, DispId id,
                 InvokeKind kind, std::span<Variant> args) {
  const Member<Object>* member =
      platform::FindMember(std::span<const Member<Object>>(table), id, kind);
  if (member == nullptr) Raise(RuntimeError::MemberNotFound);
  auto run = [&](CallArgs& a) { return member->handler(object, a); };
  // Arguments to a property that answers a collection go to the collection's default member:
  // `match.SubMatches(0)`.
  if (!args.empty() && member->info.params.empty() &&
      platform::HasKind(member->info.kind, InvokeKind::PropertyGet)) {
    Variant value = platform::InvokeMember(member->info, {}, run);
    if (value.IsObject() && value.AsObject()) {
      return value.AsObject()->Invoke(platform::kDispIdValue, kind, args);
    }
  }
  return platform::InvokeMember(member->info, args, run);
}

template <typename Object, size_t N>
DispId FindId(const std::array<Member<Object>, N>& table, std::u16string_view name) {
  return platform::FindDispId(std::span<const Member<Object>>(table), name);
}

PCRE2_SPTR16 Units(std::u16string_view text) {
  return reinterpret_cast<PCRE2_SPTR16>(text.data());
}

// The matches of one Execute: the subject and, per match, the start and end of the match and of
// each group (kUnset for a group that took no part).
struct MatchSet {
  static constexpr size_t kUnset = std::numeric_limits<size_t>::max();
  std::u16string subject;
  uint32_t groups = 0;
  std::vector<size_t> offsets;  // (groups + 1) pairs per match

  size_t Count() const { return offsets.size() / ((groups + 1) * 2); }
  const size_t* Pairs(size_t match) const { return offsets.data() + match * (groups + 1) * 2; }
  Variant Group(size_t match, uint32_t group) const {
    const size_t* pair = Pairs(match) + group * 2;
    if (pair[0] == kUnset) return Variant();
    return Variant(std::u16string_view(subject).substr(pair[0], pair[1] - pair[0]));
  }
};

size_t CheckedIndex(const Variant& index, size_t count) {
  int32_t value = index.ToI4();
  if (value < 0 || static_cast<size_t>(value) >= count) {
    Raise(RuntimeError::InvalidProcedureCall, "index out of range");
  }
  return static_cast<size_t>(value);
}

class SubMatches final : public platform::Dispatchable {
 public:
  SubMatches(std::shared_ptr<const MatchSet> set, size_t match)
      : set_(std::move(set)), match_(match) {}
  DispId GetIdOfName(std::u16string_view name) const override { return FindId(kMembers, name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return u"ISubMatches"; }
  std::vector<Variant> Enumerate() override {
    std::vector<Variant> items;
    for (uint32_t g = 1; g <= set_->groups; ++g)
      items.push_back(set_->Group(match_, g));
    return items;
  }

 private:
  static const std::array<Member<SubMatches>, 2> kMembers;
  std::shared_ptr<const MatchSet> set_;
  size_t match_;
};

constexpr ParamInfo kIndex[] = {{"index", ParamType::Variant, platform::kIn}};

const std::array<Member<SubMatches>, 2> SubMatches::kMembers = {{
    {{0, "Item", kGet, 0, kIndex, ParamType::Variant},
     [](SubMatches& s, CallArgs& a) {
       size_t index = CheckedIndex(a.Var(0), s.set_->groups);
       return s.set_->Group(s.match_, static_cast<uint32_t>(index + 1));
     }},
    {{1, "Count", kGet, 1, {}, ParamType::I4},
     [](SubMatches& s, CallArgs&) { return Variant(static_cast<int32_t>(s.set_->groups)); }},
}};

class MatchObject final : public platform::Dispatchable {
 public:
  MatchObject(std::shared_ptr<const MatchSet> set, size_t match)
      : set_(std::move(set)), match_(match) {}
  DispId GetIdOfName(std::u16string_view name) const override { return FindId(kMembers, name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return u"IMatch2"; }

 private:
  static const std::array<Member<MatchObject>, 4> kMembers;
  std::shared_ptr<const MatchSet> set_;
  size_t match_;
};

const std::array<Member<MatchObject>, 4> MatchObject::kMembers = {{
    {{0, "Value", kGet, 0, {}, ParamType::BStr},
     [](MatchObject& m, CallArgs&) { return m.set_->Group(m.match_, 0); }},
    {{1, "FirstIndex", kGet, 10001, {}, ParamType::I4},
     [](MatchObject& m, CallArgs&) {
       return Variant(static_cast<int32_t>(m.set_->Pairs(m.match_)[0]));
     }},
    {{2, "Length", kGet, 10002, {}, ParamType::I4},
     [](MatchObject& m, CallArgs&) {
       const size_t* pair = m.set_->Pairs(m.match_);
       return Variant(static_cast<int32_t>(pair[1] - pair[0]));
     }},
    {{3, "SubMatches", kGet, 10003, {}, ParamType::Object},
     [](MatchObject& m, CallArgs&) {
       return Variant(ObjectRef(std::make_shared<SubMatches>(m.set_, m.match_)));
     }},
}};

class Matches final : public platform::Dispatchable {
 public:
  explicit Matches(std::shared_ptr<const MatchSet> set) : set_(std::move(set)) {}
  DispId GetIdOfName(std::u16string_view name) const override { return FindId(kMembers, name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return u"IMatchCollection2"; }
  std::vector<Variant> Enumerate() override {
    std::vector<Variant> items;
    items.reserve(set_->Count());
    for (size_t m = 0; m < set_->Count(); ++m)
      items.emplace_back(ObjectRef(std::make_shared<MatchObject>(set_, m)));
    return items;
  }

 private:
  static const std::array<Member<Matches>, 2> kMembers;
  std::shared_ptr<const MatchSet> set_;
};

const std::array<Member<Matches>, 2> Matches::kMembers = {{
    {{0, "Item", kGet, 0, kIndex, ParamType::Object},
     [](Matches& m, CallArgs& a) {
       size_t index = CheckedIndex(a.Var(0), m.set_->Count());
       return Variant(ObjectRef(std::make_shared<MatchObject>(m.set_, index)));
     }},
    {{1, "Count", kGet, 1, {}, ParamType::I4},
     [](Matches& m, CallArgs&) { return Variant(static_cast<int32_t>(m.set_->Count())); }},
}};

struct MatchDataDeleter {
  void operator()(pcre2_match_data_16* data) const { pcre2_match_data_free_16(data); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context_16* context) const { pcre2_match_context_free_16(context); }
};
struct JitStackDeleter {
  void operator()(pcre2_jit_stack_16* stack) const { pcre2_jit_stack_free_16(stack); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context_16* context) const {
    pcre2_compile_context_free_16(context);
  }
};

// The runtime error of a compilation error of the library.
RuntimeError CompileErrorOf(int code) {
  switch (code) {
    case PCRE2_ERROR_QUANTIFIER_INVALID:
    case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
      return RuntimeError::RegExpUnexpectedQuantifier;
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
      return RuntimeError::RegExpExpectedBracket;
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
      return RuntimeError::RegExpExpectedParen;
    case PCRE2_ERROR_CLASS_RANGE_ORDER:
    case PCRE2_ERROR_CLASS_INVALID_RANGE:
      return RuntimeError::RegExpInvalidRange;
    case PCRE2_ERROR_HEAP_FAILED:
      return RuntimeError::OutOfMemory;
    default:
      return RuntimeError::RegExpSyntaxError;
  }
}

class RegExpObject final : public platform::Dispatchable {
 public:
  DispId GetIdOfName(std::u16string_view name) const override { return FindId(kMembers, name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return u"IRegExp2"; }

 private:
  static const std::array<Member<RegExpObject>, 11> kMembers;

  // A compiled pattern, shared by the calls that use it, so that a replacement function that
  // changes the pattern while a Replace runs leaves that Replace its own.
  struct Prepared {
    std::shared_ptr<pcre2_code_16> code;
    uint32_t groups = 0;
  };

  void Changed() { prepared_.code.reset(); }
  Prepared Compile();
  // Matches from @p start on; false when there is no further match. Raises when a limit is hit.
  bool MatchAt(const Prepared& prepared, pcre2_match_data_16* data, std::u16string_view subject,
               size_t start);
  // Runs @p visit(ovector) for the first match or, when Global, every match.
  template <typename Visit>
  void ForEachMatch(const Prepared& prepared, std::u16string_view subject, Visit&& visit);
  std::shared_ptr<MatchSet> Execute(std::u16string subject);
  bool Test(std::u16string_view subject);
  std::u16string Replace(std::u16string_view subject, const Variant& replacement);

  std::u16string pattern_;
  bool ignoreCase_ = false;
  bool global_ = false;
  bool multiline_ = false;
  Prepared prepared_;
  std::unique_ptr<pcre2_match_context_16, MatchContextDeleter> context_;
  std::unique_ptr<pcre2_jit_stack_16, JitStackDeleter> jitStack_;
};

RegExpObject::Prepared RegExpObject::Compile() {
  if (prepared_.code) return prepared_;
  if (pattern_.size() > kMaxPatternLength) {
    Raise(RuntimeError::RegExpSyntaxError, "the pattern is too long");
  }
  TranslatedPattern translated = TranslatePattern(pattern_);
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALLOW_EMPTY_CLASS |
                     PCRE2_DOLLAR_ENDONLY | PCRE2_MATCH_UNSET_BACKREF | PCRE2_NEVER_BACKSLASH_C;
  if (ignoreCase_) options |= PCRE2_CASELESS;
  if (multiline_) options |= PCRE2_MULTILINE;
  std::unique_ptr<pcre2_compile_context_16, CompileContextDeleter> compileContext(
      pcre2_compile_context_create_16(nullptr));
  if (!compileContext) Raise(RuntimeError::OutOfMemory);
  // Lines end at CR, LF or CR LF for "^", "$" (Multiline) and ".".
  pcre2_set_newline_16(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code_16* code = pcre2_compile_16(Units(translated.text), translated.text.size(), options,
                                         &error, &offset, compileContext.get());
  if (code == nullptr) Raise(CompileErrorOf(error));
  std::shared_ptr<pcre2_code_16> shared(code, pcre2_code_free_16);
  // Without the JIT (a machine or build without it) the interpreter matches, under the same
  // limits.
  pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE);
  if (!context_) {
    context_.reset(pcre2_match_context_create_16(nullptr));
    if (!context_) Raise(RuntimeError::OutOfMemory);
    pcre2_set_match_limit_16(context_.get(), kMatchLimit);
    pcre2_set_depth_limit_16(context_.get(), kDepthLimit);
    pcre2_set_heap_limit_16(context_.get(), kHeapLimitKiB);
    jitStack_.reset(pcre2_jit_stack_create_16(32 * 1024, kJitStackBytes, nullptr));
    if (jitStack_) pcre2_jit_stack_assign_16(context_.get(), nullptr, jitStack_.get());
  }
  prepared_ = Prepared{std::move(shared), translated.groups};
  return prepared_;
}

bool RegExpObject::MatchAt(const Prepared& prepared, pcre2_match_data_16* data,
                           std::u16string_view subject, size_t start) {
  int rc = pcre2_match_16(prepared.code.get(), Units(subject), subject.size(), start, 0, data,
                          context_.get());
  if (rc >= 0) return true;
  switch (rc) {
    case PCRE2_ERROR_NOMATCH:
      return false;
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_JIT_STACKLIMIT:
      Raise(RuntimeError::OutOfStackSpace, "the regular expression needs too many steps");
    case PCRE2_ERROR_NOMEMORY:
      Raise(RuntimeError::OutOfMemory);
    default:
      Raise(RuntimeError::InternalError, "regular expression match failed");
  }
}

template <typename Visit>
void RegExpObject::ForEachMatch(const Prepared& prepared, std::u16string_view subject,
                                Visit&& visit) {
  std::unique_ptr<pcre2_match_data_16, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern_16(prepared.code.get(), nullptr));
  if (!data) Raise(RuntimeError::OutOfMemory);
  size_t start = 0;
  while (start <= subject.size() && MatchAt(prepared, data.get(), subject, start)) {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data.get());
    size_t begin = ovector[0];
    size_t end = ovector[1];
    visit(ovector);
    if (!global_) return;
    if (end <= begin) {
      // An empty match: the next search starts one character further, a surrogate pair being
      // one character.
      end = begin + 1;
      if (end < subject.size() && subject[end - 1] >= 0xD800 && subject[end - 1] <= 0xDBFF &&
          subject[end] >= 0xDC00 && subject[end] <= 0xDFFF) {
        ++end;
      }
    }
    start = end;
  }
}

std::shared_ptr<MatchSet> RegExpObject::Execute(std::u16string subject) {
  Prepared prepared = Compile();
  auto set = std::make_shared<MatchSet>();
  set->subject = std::move(subject);
  set->groups = prepared.groups;
  ForEachMatch(prepared, set->subject, [&](const PCRE2_SIZE* ovector) {
    size_t pairs = prepared.groups + 1;
    if (set->offsets.size() + pairs * 2 > kMaxMatchOffsets) {
      Raise(RuntimeError::OutOfMemory, "too many matches");
    }
    for (size_t k = 0; k < pairs * 2; ++k) {
      set->offsets.push_back(ovector[k] == PCRE2_UNSET ? MatchSet::kUnset : ovector[k]);
    }
  });
  return set;
}

bool RegExpObject::Test(std::u16string_view subject) {
  Prepared prepared = Compile();
  std::unique_ptr<pcre2_match_data_16, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern_16(prepared.code.get(), nullptr));
  if (!data) Raise(RuntimeError::OutOfMemory);
  return MatchAt(prepared, data.get(), subject, 0);
}

std::u16string RegExpObject::Replace(std::u16string_view subject, const Variant& replacement) {
  Prepared prepared = Compile();
  const uint32_t groups = prepared.groups;
  ObjectRef function = replacement.IsObject() ? replacement.AsObject() : nullptr;
  std::vector<ReplacementPart> parts;
  if (!function) {
    // As the automation layer converts: a Boolean is "-1" or "0", not "True" or "False".
    std::u16string text;
    if (replacement.Type() == platform::VarType::Bool) {
      text = replacement.AsBool() ? u"-1" : u"0";
    } else if (!replacement.IsEmpty()) {
      text = replacement.ToBStr();
    }
    parts = ParseReplacement(text, groups);
  }
  std::u16string out;
  size_t copied = 0;
  auto append = [&](std::u16string_view piece) {
    if (out.size() + piece.size() > kMaxResultLength) {
      Raise(RuntimeError::OutOfMemory, "the replaced string is too long");
    }
    out.append(piece);
  };
  ForEachMatch(prepared, subject, [&](const PCRE2_SIZE* ovector) {
    size_t begin = ovector[0];
    size_t end = ovector[1];
    append(subject.substr(copied, begin - copied));
    copied = end;
    auto group = [&](uint32_t g) -> std::u16string_view {
      if (ovector[2 * g] == PCRE2_UNSET) return {};
      return subject.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]);
    };
    if (function) {
      // The function's arguments: the match, each group, the position, the whole string.
      std::vector<Variant> args;
      args.emplace_back(group(0));
      for (uint32_t g = 1; g <= groups; ++g) {
        args.push_back(ovector[2 * g] == PCRE2_UNSET ? Variant() : Variant(group(g)));
      }
      args.emplace_back(static_cast<int32_t>(begin));
      args.emplace_back(subject);
      Variant result = function->Invoke(platform::kDispIdValue, InvokeKind::Method, args);
      append(result.IsNull() || result.IsEmpty() ? u"" : result.ToBStr());
      return;
    }
    for (const ReplacementPart& part : parts) {
      if (part.literal) {
        append(part.text);
      } else if (part.reference == -1) {
        append(subject.substr(0, begin));
      } else if (part.reference == -2) {
        append(subject.substr(end));
      } else {
        append(group(static_cast<uint32_t>(part.reference)));
      }
    }
  });
  append(subject.substr(std::min(copied, subject.size())));
  return out;
}

constexpr ParamInfo kText[] = {{"sourceString", ParamType::BStr, platform::kIn}};
constexpr ParamInfo kReplace[] = {{"sourceString", ParamType::BStr, platform::kIn},
                                  {"replaceVar", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kPatternValue[] = {{"pattern", ParamType::BStr, platform::kIn}};
constexpr ParamInfo kFlagValue[] = {{"flag", ParamType::Bool, platform::kIn}};

const std::array<Member<RegExpObject>, 11> RegExpObject::kMembers = {{
    {{0, "Pattern", kGet, 10001, {}, ParamType::BStr},
     [](RegExpObject& r, CallArgs&) { return Variant(r.pattern_); }},
    {{1, "Pattern", kPut, 10001, kPatternValue, ParamType::None},
     [](RegExpObject& r, CallArgs& a) {
       r.pattern_ = a.BStr(0);
       r.Changed();
       return Variant();
     }},
    {{2, "IgnoreCase", kGet, 10002, {}, ParamType::Bool},
     [](RegExpObject& r, CallArgs&) { return Variant::Bool(r.ignoreCase_); }},
    {{3, "IgnoreCase", kPut, 10002, kFlagValue, ParamType::None},
     [](RegExpObject& r, CallArgs& a) {
       r.ignoreCase_ = a.Bool(0) != 0;
       r.Changed();
       return Variant();
     }},
    {{4, "Global", kGet, 10003, {}, ParamType::Bool},
     [](RegExpObject& r, CallArgs&) { return Variant::Bool(r.global_); }},
    {{5, "Global", kPut, 10003, kFlagValue, ParamType::None},
     [](RegExpObject& r, CallArgs& a) {
       r.global_ = a.Bool(0) != 0;
       return Variant();
     }},
    {{6, "Multiline", kGet, 10004, {}, ParamType::Bool},
     [](RegExpObject& r, CallArgs&) { return Variant::Bool(r.multiline_); }},
    {{7, "Multiline", kPut, 10004, kFlagValue, ParamType::None},
     [](RegExpObject& r, CallArgs& a) {
       r.multiline_ = a.Bool(0) != 0;
       r.Changed();
       return Variant();
     }},
    {{8, "Execute", kMethod, 10005, kText, ParamType::Object},
     [](RegExpObject& r, CallArgs& a) {
       return Variant(ObjectRef(std::make_shared<Matches>(r.Execute(a.BStr(0)))));
     }},
    {{9, "Test", kMethod, 10006, kText, ParamType::Bool},
     [](RegExpObject& r, CallArgs& a) { return Variant::Bool(r.Test(a.BStr(0))); }},
    {{10, "Replace", kMethod, 10007, kReplace, ParamType::BStr},
     [](RegExpObject& r, CallArgs& a) { return Variant(r.Replace(a.BStr(0), a.Var(1))); }},
}};

}  // namespace

ObjectRef CreateRegExp() {
  return std::make_shared<RegExpObject>();
}

}  // namespace corvella::script
