#include "interpreter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "builtins.h"
#include "class_object.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "err_object.h"
#include "operators.h"

namespace corvella::script {

using platform::InvokeKind;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VariantArray;
using platform::VarType;

namespace {

constexpr uint64_t kInterruptCheckInterval = 1024;

constexpr InvokeKind kGet = InvokeKind::Method | InvokeKind::PropertyGet;

// A few values on the machine stack, more on the heap: the arguments of one call.
template <typename T, size_t kInline = 6>
class InlineBuffer {
 public:
  explicit InlineBuffer(size_t size) : size_(size) {
    if (size > kInline) heap_.resize(size);
  }
  T* data() { return size_ > kInline ? heap_.data() : inline_.data(); }
  std::span<T> span() { return {data(), size_}; }
  T& operator[](size_t i) { return data()[i]; }
  size_t size() const { return size_; }

 private:
  std::array<T, kInline> inline_{};
  std::vector<T> heap_;
  size_t size_;
};

using VariantBuffer = InlineBuffer<Variant>;

bool IsVariable(const Expr& e) {
  return e.kind == ExprKind::Local || e.kind == ExprKind::Global || e.kind == ExprKind::Dynamic ||
         e.kind == ExprKind::Field;
}

std::string Quoted(const std::u16string& name) {
  return "'" + platform::WideToUtf8(name) + "'";
}

int32_t IndexOf(const Variant& value) {
  return value.ToI4();
}

std::vector<int32_t> IndicesOf(std::span<Variant> args) {
  if (args.size() > VariantArray::kMaxDimensions) Raise(RuntimeError::SubscriptOutOfRange);
  std::vector<int32_t> indices(args.size());
  for (size_t i = 0; i < args.size(); ++i)
    indices[i] = IndexOf(args[i]);
  return indices;
}

// The indices of one array access: up to four on the machine stack, more on the heap.
class IndexList {
 public:
  explicit IndexList(std::span<Variant> args) {
    if (args.size() > small_.size()) {
      large_ = IndicesOf(args);
      indices_ = large_;
      return;
    }
    for (size_t i = 0; i < args.size(); ++i)
      small_[i] = IndexOf(args[i]);
    indices_ = std::span<int32_t>(small_.data(), args.size());
  }
  std::span<const int32_t> get() const { return indices_; }

 private:
  std::array<int32_t, 4> small_{};
  std::vector<int32_t> large_;
  std::span<int32_t> indices_;
};

// The nesting depth and the element count (nested arrays included) of an array value; the walk
// stops as soon as either exceeds its limit.
void MeasureArray(const Variant& value, int depthLimit, int& depth, size_t& elements,
                  size_t elementLimit) {
  depth = 0;
  if (value.Type() != VarType::VariantArray) return;
  depth = 1;
  elements += value.AsArray().Size();
  for (const Variant& element : value.AsArray().Elements()) {
    if (element.Type() != VarType::VariantArray) continue;
    int inner = 0;
    MeasureArray(element, depthLimit - 1, inner, elements, elementLimit);
    depth = std::max(depth, 1 + inner);
    if (depth >= depthLimit || elements > elementLimit) return;
  }
}

ScriptError ToScriptError(const platform::Error& error, std::optional<Pos> pos) {
  ScriptError out;
  out.number = error.Number();
  out.source = SourceOf(error);
  out.description = error.Description();
  if (out.description.empty()) out.description = "Unknown runtime error";
  out.detail = error.Detail();
  if (pos)
    out.position = SourcePosition{static_cast<int>(pos->line), static_cast<int>(pos->column)};
  return out;
}

}  // namespace

// A variable or array element that a by-reference argument refers to.
struct Interpreter::Reference {
  enum class Kind : uint8_t { None, Variable, Element };
  Kind kind = Kind::None;
  Variant* slot = nullptr;  // the variable, or the variable holding the array
  std::vector<int32_t> indices;
};

// ---------------------------------------------------------------------------------------------
// Frame arena

FrameArena::Lease::Lease(FrameArena& arena, size_t count) : arena_(arena), count_(count) {
  if (arena.chunks_.empty() ||
      arena.chunks_[arena.current_].used + count > arena.chunks_[arena.current_].size) {
    // The next chunk, or a new one large enough; earlier chunks keep their live frames.
    size_t next = arena.chunks_.empty() ? 0 : arena.current_ + 1;
    if (next < arena.chunks_.size() && arena.chunks_[next].size < count) {
      arena.chunks_.resize(next);
    }
    if (next == arena.chunks_.size()) {
      Chunk chunk;
      chunk.size = std::max(count, kChunkSize);
      chunk.values = std::make_unique<Variant[]>(chunk.size);
      chunk.slots = std::make_unique<Variant*[]>(chunk.size);
      arena.chunks_.push_back(std::move(chunk));
    }
    arena.current_ = next;
  }
  Chunk& chunk = arena.chunks_[arena.current_];
  chunk_ = arena.current_;
  values_ = chunk.values.get() + chunk.used;
  slots_ = chunk.slots.get() + chunk.used;
  chunk.used += count;
  for (size_t i = 0; i < count; ++i)
    slots_[i] = &values_[i];
}

FrameArena::Lease::~Lease() {
  // Frames end in reverse order of their start; the values are released for the next frame.
  for (size_t i = 0; i < count_; ++i)
    values_[i] = Variant();
  Chunk& chunk = arena_.chunks_[chunk_];
  chunk.used -= count_;
  if (chunk.used == 0 && chunk_ > 0) arena_.current_ = chunk_ - 1;
}

Interpreter::Interpreter(const Program& program, Host& host, const RunOptions& options)
    : program_(program),
      host_(host),
      options_(options),
      err_(std::make_shared<ErrObject>()),
      missing_(Variant::Missing()),
      self_(std::make_shared<Interpreter*>(this)) {
}

Interpreter::~Interpreter() {
  *self_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Running

RunResult Interpreter::Run() {
  std::optional<platform::RunLimits> ownLimits;
  limits_ = options_.limits;
  if (limits_ == nullptr) {
    limits_ = &ownLimits.emplace(options_.memoryLimit);
    if (options_.deadline) limits_->SetDeadline(*options_.deadline);
  }
  flag_ = &limits_->Flag();
  platform::LimitsScope limitsScope(limits_);
  RunResult result;
  uintptr_t base = StackAddress();
  stackLimit_ = base > options_.maxStackBytes ? base - options_.maxStackBytes : 0;
  nextCheck_ = kInterruptCheckInterval;
  if (options_.maxSteps != 0) nextCheck_ = std::min(nextCheck_, options_.maxSteps);
  globals_.assign(program_.globalCount, Variant());
  bound_.assign(program_.globalCount, 0);
  mainGlobals_ = program_.globalCount;
  for (const Procedure& proc : program_.procedures)
    procs_.push_back(&proc);
  for (const ClassDef& def : program_.classes)
    classes_.push_back(&def);
  names_ = program_.names;
  Frame top;
  frame_ = &top;
  bool started = false;
  auto fail = [&](const platform::Error& error) {
    platform::LimitsScope unlimited(nullptr);  // the report needs memory even past the budget
    result.status = RunStatus::RuntimeError;
    result.exitCode = 1;
    result.error = ToScriptError(error, errorPosition_);
  };
  try {
    try {
      for (const DynamicName& dynamic : program_.dynamics) {
        ObjectRef item;
        if (platform::EqualsNoCase(dynamic.name, "err")) {
          item = err_;
        } else {
          item = host_.NamedItem(dynamic.name);
        }
        if (item) {
          globals_[dynamic.slot] = Variant(std::move(item));
          bound_[dynamic.slot] = kBoundItem;
        }
      }
      for (const ArrayInit& init : program_.globalArrays) {
        errorPosition_ = init.pos;
        InitArray(init, globals_[init.slot]);
      }
      errorPosition_.reset();
      started = true;
      host_.ScriptStarting();
      ExecBlock(program_.top);
    } catch (const std::bad_alloc&) {
      throw platform::MakeError(RuntimeError::OutOfMemory);
    } catch (const std::length_error&) {
      throw platform::MakeError(RuntimeError::OutOfMemory);
    }
  } catch (const ScriptExit& exit) {
    result.status = RunStatus::Exited;
    result.exitCode = exit.Code();
  } catch (const Interrupt& interrupt) {
    result.status = interrupt.status;
    result.exitCode = interrupt.status == RunStatus::Cancelled ? 130 : 124;
  } catch (const platform::Interrupted&) {
    // A built-in function or a pixel loop saw the flag.
    bool cancelled = options_.cancel != nullptr && options_.cancel->load();
    result.status = cancelled ? RunStatus::Cancelled : RunStatus::TimedOut;
    result.exitCode = cancelled ? 130 : 124;
  } catch (const platform::Error& error) {
    fail(error);
  } catch (const std::exception& error) {
    fail(platform::MakeError(RuntimeError::InternalError, error.what()));
  } catch (...) {
    fail(platform::MakeError(RuntimeError::InternalError));
  }
  frame_ = &top;
  if (started) {
    errorPosition_.reset();
    try {
      host_.ScriptEnded();
    } catch (const platform::Error& error) {
      if (!result.error) fail(error);
    } catch (const ScriptExit&) {
    } catch (const platform::Interrupted&) {
    } catch (const std::exception& error) {
      if (!result.error) fail(platform::MakeError(RuntimeError::InternalError, error.what()));
    } catch (...) {
      if (!result.error) fail(platform::MakeError(RuntimeError::InternalError));
    }
  }
  ReleaseAll();
  globals_.clear();
  frame_ = nullptr;
  return result;
}

void Interpreter::CheckInterrupts() {
  if (options_.maxSteps != 0 && steps_ >= options_.maxSteps) throw Interrupt{RunStatus::TimedOut};
  if (options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed)) {
    limits_->Interrupt();  // long built-ins and pixel loops stop too
    throw Interrupt{RunStatus::Cancelled};
  }
  if (limits_->IsInterrupted()) throw Interrupt{RunStatus::TimedOut};
  if (options_.deadline && std::chrono::steady_clock::now() >= *options_.deadline) {
    throw Interrupt{RunStatus::TimedOut};
  }
  nextCheck_ = steps_ + kInterruptCheckInterval;
  if (options_.maxSteps != 0) nextCheck_ = std::min(nextCheck_, options_.maxSteps);
}

void Interpreter::StackOverflow() {
  Raise(RuntimeError::OutOfStackSpace);
}

void Interpreter::CheckStringLength(size_t length) const {
  if (length > options_.maxStringLength) Raise(RuntimeError::OutOfMemory);
}

void Interpreter::CheckArrayElements(size_t count) const {
  if (count > options_.maxArrayElements) Raise(RuntimeError::OutOfMemory);
}

void Interpreter::CheckNesting(const Variant& value) const {
  if (value.Type() != VarType::VariantArray) return;
  int depth = 0;
  size_t elements = 0;
  MeasureArray(value, kMaxArrayNesting, depth, elements, options_.maxArrayElements);
  if (depth >= kMaxArrayNesting) Raise(RuntimeError::OutOfStackSpace);
  if (elements > options_.maxArrayElements) Raise(RuntimeError::OutOfMemory);
}

float Interpreter::NextRandom(std::optional<float> argument) {
  if (argument) {
    if (*argument == 0.0f) return lastRandom_;
    if (*argument < 0.0f) {
      uint32_t bits = 0;
      std::memcpy(&bits, &*argument, sizeof bits);
      randomSeed_ = (bits + (bits >> 24)) & 0xFFFFFFu;
    }
  }
  randomSeed_ = (randomSeed_ * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
  lastRandom_ = static_cast<float>(randomSeed_) / 16777216.0f;
  return lastRandom_;
}

void Interpreter::Randomize(std::optional<double> seed) {
  double value = 0.0;
  if (seed) {
    value = *seed;
  } else {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    value = std::chrono::duration<double>(now).count();
  }
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  auto high = static_cast<uint32_t>(bits >> 32);
  uint32_t mixed = ((high & 0xFFFFu) ^ (high >> 16)) << 8;
  randomSeed_ = (randomSeed_ & 0xFFu) | (mixed & 0xFFFF00u);
}

void Interpreter::InitArray(const ArrayInit& init, Variant& slot) {
  if (init.bounds.empty()) {
    slot = Variant(VariantArray());
    return;
  }
  size_t count = 1;
  for (const auto& b : init.bounds) {
    size_t extent = static_cast<size_t>(int64_t{b.upper} - b.lower + 1);
    if (extent != 0 && count > options_.maxArrayElements / extent) {
      Raise(RuntimeError::OutOfMemory);
    }
    count *= extent;
  }
  CheckArrayElements(count);
  slot = Variant(VariantArray::Create(init.bounds));
}

// ---------------------------------------------------------------------------------------------
// Statements

Interpreter::Flow Interpreter::ExecBlock(const Block& block) {
  CheckStack();
  for (const StmtPtr& statement : block) {
    Flow flow = ExecGuarded(*statement);
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecGuarded(const Stmt& s) {
  Tick();
  try {
    return Exec(s);
  } catch (const platform::Error& error) {
    if (!HandleError(error, s)) throw;
  } catch (const std::bad_alloc&) {
    platform::Error error = platform::MakeError(RuntimeError::OutOfMemory);
    if (!HandleError(error, s)) throw error;
  } catch (const std::length_error&) {
    platform::Error error = platform::MakeError(RuntimeError::OutOfMemory);
    if (!HandleError(error, s)) throw error;
  }
  return Flow::Normal;
}

// An error escaping statement @p s: remembered with the innermost statement's position, and
// recorded in Err when the running procedure resumes after errors.
bool Interpreter::HandleError(const platform::Error& error, const Stmt& s) {
  if (!errorPosition_) errorPosition_ = s.pos;
  if (!frame_->resumeNext) return false;
  err_->Set(error);
  errorPosition_.reset();
  return true;
}

Interpreter::Flow Interpreter::Exec(const Stmt& s) {
  switch (s.kind) {
    case StmtKind::Call:
      ExecCallStatement(*s.value);
      return Flow::Normal;
    case StmtKind::Assign:
      ExecAssign(s);
      return Flow::Normal;
    case StmtKind::If:
      return ExecIf(s);
    case StmtKind::For:
      return ExecFor(s);
    case StmtKind::ForEach:
      return ExecForEach(s);
    case StmtKind::Do:
      return ExecDo(s);
    case StmtKind::Select:
      return ExecSelect(s);
    case StmtKind::With:
      return ExecWith(s);
    case StmtKind::Exit:
      switch (s.exitKind) {
        case ExitKind::For:
          return Flow::ExitFor;
        case ExitKind::Do:
          return Flow::ExitDo;
        default:
          return Flow::ExitProcedure;
      }
    case StmtKind::ReDim:
      ExecReDim(s);
      return Flow::Normal;
    case StmtKind::Erase:
      ExecErase(s);
      return Flow::Normal;
    case StmtKind::OnError:
      frame_->resumeNext = s.resumeNext;
      err_->Clear();
      return Flow::Normal;
    case StmtKind::Nop:
      return Flow::Normal;
  }
  return Flow::Normal;
}

void Interpreter::ExecCallStatement(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Member:
      CallMember(e, InvokeKind::Method);
      return;
    case ExprKind::CallProc:
      CallProcedure(*procs_[e.slot], e, nullptr);
      return;
    case ExprKind::CallBuiltin: {
      CallBuiltin(e);
      // A conversion called as a statement has nowhere to put the value of its type.
      std::string_view name = Builtin(static_cast<int>(e.slot)).name;
      for (std::string_view conversion : {"CByte", "CCur", "CDate", "CDbl", "CInt", "CLng", "CSng"}) {
        if (name == conversion) {
          throw platform::Error(static_cast<int32_t>(platform::kRuntimeErrorBase | 458u), {},
                                "Variable uses an Automation type not supported in VBScript");
        }
      }
      return;
    }
    case ExprKind::Index:
      EvalIndex(e, InvokeKind::Method);
      return;
    case ExprKind::Local:
    case ExprKind::Global:
    case ExprKind::Field:
    case ExprKind::Dynamic: {
      // A variable named as a statement: the call of an object's default method.
      Variant* slot = LocateVariable(e);
      if (slot->IsObject() && slot->AsObject()) {
        ObjectRef object = slot->AsObject();
        object->Invoke(platform::kDispIdValue, InvokeKind::Method, {});
        return;
      }
      Raise(RuntimeError::TypeMismatch, Quoted(e.name));
    }
    default:
      Eval(e);
      return;
  }
}

void Interpreter::ExecAssign(const Stmt& s) {
  const Expr& target = *s.target;
  if (!s.isSet && TryAppend(s)) return;
  Variant value = Eval(*s.value);
  if (s.isSet) {
    if (!value.IsObject()) Raise(RuntimeError::ObjectRequired);
  } else if (value.IsObject()) {
    value = ops::DefaultValue(value);
  }
  switch (target.kind) {
    case ExprKind::Local:
    case ExprKind::Global:
    case ExprKind::Dynamic:
    case ExprKind::Field: {
      Variant* slot = LocateWritable(target);
      if (!slot->IsObject()) {
        *slot = std::move(value);
        return;
      }
      // An object goes after the new value is in place: its Class_Terminate may look at the
      // variable.
      Variant old = std::exchange(*slot, std::move(value));
      return;
    }
    case ExprKind::Index:
      AssignIndex(target, std::move(value), s.isSet);
      return;
    case ExprKind::Member:
      AssignMember(target, std::move(value), s.isSet);
      return;
    default:
      Raise(RuntimeError::IllegalAssignment);
  }
}

// s = s & x (& y ...), the way scripts build text: appended in place rather than copied each
// time, so that building a long text takes time in proportion to its length.
bool Interpreter::TryAppend(const Stmt& s) {
  const Expr& target = *s.target;
  if (!IsVariable(target)) return false;
  // The parts after the variable itself, last first: ((s & a) & b) & c gives c, b, a.
  std::array<const Expr*, 8> parts{};
  size_t count = 0;
  const Expr* e = s.value.get();
  while (e->kind == ExprKind::Binary && e->op == Op::Concat && e->b->pure && count < parts.size()) {
    parts[count++] = e->b.get();
    e = e->a.get();
  }
  if (count == 0 || e->kind != target.kind || e->slot != target.slot || e->slot2 != target.slot2) {
    return false;
  }
  Variant* slot = LocateWritable(target);
  if (!slot->IsString() || slot->StringByteLength() % 2 != 0) return false;
  if (count == 1) {
    // s = s & x, the common case, without the bookkeeping of several parts.
    Variant temp;
    const Variant& part = EvalRef(*parts[0], temp);
    std::u16string& current = slot->AsBStr();
    switch (part.Type()) {
      case VarType::BStr: {
        if (part.StringByteLength() % 2 != 0) return false;
        const std::u16string& text = part.AsBStr();
        CheckStringLength(current.size() + text.size());
        if (&text == &current) {
          current.append(std::u16string(text));
        } else {
          current += text;
        }
        return true;
      }
      case VarType::Null:
      case VarType::Empty:
        return true;
      case VarType::I2:
      case VarType::I4:
      case VarType::R4:
      case VarType::R8:
      case VarType::Bool:
      case VarType::UI1:
      case VarType::Date: {
        std::u16string text = part.ToBStr();
        CheckStringLength(current.size() + text.size());
        current += text;
        return true;
      }
      default:
        return false;
    }
  }
  // Each part as text: strings are read in place, other values converted.
  std::array<Variant, 8> temps;
  std::array<const std::u16string*, 8> texts{};
  std::array<std::u16string, 8> converted;
  size_t added = 0;
  for (size_t i = 0; i < count; ++i) {
    const Variant& part = EvalRef(*parts[count - 1 - i], temps[i]);
    switch (part.Type()) {
      case VarType::BStr:
        if (part.StringByteLength() % 2 != 0) return false;
        texts[i] = &part.AsBStr();
        break;
      case VarType::Null:
      case VarType::Empty:
        texts[i] = &converted[i];
        break;
      case VarType::I2:
      case VarType::I4:
      case VarType::R4:
      case VarType::R8:
      case VarType::Bool:
      case VarType::UI1:
      case VarType::Date:
        converted[i] = part.ToBStr();
        texts[i] = &converted[i];
        break;
      default:
        return false;
    }
    added += texts[i]->size();
  }
  std::u16string& current = slot->AsBStr();
  CheckStringLength(current.size() + added);
  for (size_t i = 0; i < count; ++i) {
    // s = s & s: a copy of the text as it was, since appending moves its end.
    if (texts[i] == &current) {
      converted[i] = current;
      texts[i] = &converted[i];
    }
  }
  for (size_t i = 0; i < count; ++i)
    current += *texts[i];
  return true;
}

// The truth of a condition; an error in it is placed at @p at (an ElseIf's line, say).
bool Interpreter::Test(const Expr& condition, bool enterOnError, Pos at) {
  try {
    Variant temp;
    return ops::IsTrue(EvalRef(condition, temp));
  } catch (const platform::Error& error) {
    // Under On Error Resume Next a failing If condition goes on into its branch, as the
    // language does: execution resumes with the next statement, the branch's first.
    if (!enterOnError || !frame_->resumeNext) {
      if (!errorPosition_) errorPosition_ = at;
      throw;
    }
    err_->Set(error);
    errorPosition_.reset();
    return true;
  }
}

Interpreter::Flow Interpreter::ExecIf(const Stmt& s) {
  for (const Branch& branch : s.branches) {
    if (Test(*branch.tests[0], true, branch.pos)) return ExecBlock(branch.body);
  }
  if (s.hasElse) return ExecBlock(s.elseBody);
  return Flow::Normal;
}

// Under On Error Resume Next an error in the header of a For, For Each or With goes on with the
// next statement, the body's first: the body runs once, as it stands.
bool Interpreter::ResumeInHeader(const platform::Error& error, Pos at) {
  if (!frame_->resumeNext) {
    if (!errorPosition_) errorPosition_ = at;
    return false;
  }
  err_->Set(error);
  errorPosition_.reset();
  return true;
}

Interpreter::Flow Interpreter::ExecFor(const Stmt& s) {
  Variant from, end, step;
  try {
    from = ops::ToNumber(Eval(*s.from));
    end = ops::ToNumber(Eval(*s.to));
    step = s.step ? ops::ToNumber(Eval(*s.step)) : Variant(int16_t{1});
  } catch (const platform::Error& error) {
    if (!ResumeInHeader(error, s.pos)) throw;
    // The body runs once; its Next finds no loop to continue.
    Flow flow = ExecBlock(s.body);
    if (flow == Flow::Normal) {
      throw platform::Error(static_cast<int32_t>(platform::kRuntimeErrorBase | 92u), {},
                            "For loop not initialized");
    }
    return flow == Flow::ExitFor ? Flow::Normal : flow;
  }
  bool positive = !ops::IsTrue(ops::Binary(Op::Lt, step, Variant(int16_t{0})));
  Variant* counter = LocateWritable(*s.target);
  *counter = std::move(from);
  while (!ops::PastEnd(*counter, end, positive)) {
    Flow flow = ExecBlock(s.body);
    if (flow == Flow::ExitFor) break;
    if (flow != Flow::Normal) return flow;
    Tick();
    *counter = ops::AddCounter(*counter, step);
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecForEach(const Stmt& s) {
  // The loop walks its own copy of an array, so the body may change the original freely.
  Variant collection;
  std::vector<Variant> items;  // an object's
  try {
    collection = Eval(*s.value);
    switch (collection.Type()) {
      case VarType::VariantArray:
      case VarType::ByteArray:
        break;
      case VarType::Dispatch:
        if (!collection.AsObject()) Raise(RuntimeError::ObjectNotSet);
        items = collection.AsObject()->Enumerate();
        break;
      default:
        Raise(RuntimeError::NotACollection);
    }
  } catch (const platform::Error& error) {
    if (!ResumeInHeader(error, s.pos)) throw;
    // The body runs once; its Next finds nothing to go on with.
    Flow flow = ExecBlock(s.body);
    if (flow == Flow::Normal) Raise(RuntimeError::NotACollection);
    return flow == Flow::ExitFor ? Flow::Normal : flow;
  }
  Variant* item = LocateWritable(*s.target);
  auto visit = [&](Variant value, Flow& result) {
    *item = std::move(value);
    Flow flow = ExecBlock(s.body);
    Tick();
    if (flow == Flow::Normal) return true;
    result = flow == Flow::ExitFor ? Flow::Normal : flow;
    return false;
  };
  // A loop that runs to its end leaves its variable Empty; Exit For leaves the element in it.
  Flow result = Flow::Normal;
  switch (collection.Type()) {
    case VarType::VariantArray:
      for (const Variant& element : collection.AsArray().Elements()) {
        if (!visit(element, result)) return result;
      }
      break;
    case VarType::ByteArray:
      for (uint8_t byte : collection.AsByteArray().Bytes()) {
        if (!visit(Variant::Byte(byte), result)) return result;
      }
      break;
    default:
      for (Variant& element : items) {
        if (!visit(std::move(element), result)) return result;
      }
      break;
  }
  Variant old = std::exchange(*LocateWritable(*s.target), Variant());
  return result;
}

Interpreter::Flow Interpreter::ExecDo(const Stmt& s) {
  // Under On Error Resume Next a failing condition goes on with the next statement: into the
  // body at the top of the loop, past the loop at its bottom.
  auto test = [&](Pos at) -> std::optional<bool> {
    try {
      Variant temp;
      return ops::IsTrue(EvalRef(*s.value, temp)) != s.until;
    } catch (const platform::Error& error) {
      if (!ResumeInHeader(error, at)) throw;
      return std::nullopt;
    }
  };
  while (true) {
    if (s.atTop && s.value && !test(s.pos).value_or(true)) break;
    Flow flow = ExecBlock(s.body);
    if (flow == Flow::ExitDo) break;
    if (flow != Flow::Normal) return flow;
    if (!s.atTop && s.value && !test(s.value->pos).value_or(false)) break;
    Tick();
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecSelect(const Stmt& s) {
  // Under On Error Resume Next a failing tested value skips every case; a failing case
  // expression runs that case.
  Variant tested;
  try {
    tested = Eval(*s.value);
  } catch (const platform::Error& error) {
    if (!ResumeInHeader(error, s.pos)) throw;
    return Flow::Normal;
  }
  for (const Branch& branch : s.branches) {
    for (const ExprPtr& test : branch.tests) {
      bool match = false;
      try {
        Variant temp;
        const Variant& value = EvalRef(*test, temp);
        match = ops::IsTrue(ops::Binary(Op::Eq, tested, value, s.value->hard, test->hard));
      } catch (const platform::Error& error) {
        if (!ResumeInHeader(error, branch.pos)) throw;
        match = true;
      }
      if (match) return ExecBlock(branch.body);
    }
  }
  if (s.hasElse) return ExecBlock(s.elseBody);
  return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecWith(const Stmt& s) {
  Variant* hidden = LocateVariable(*s.target);
  try {
    *hidden = Eval(*s.value);
    if (!hidden->IsObject()) Raise(RuntimeError::ObjectRequired);
  } catch (const platform::Error& error) {
    if (!ResumeInHeader(error, s.pos)) throw;
    *hidden = Variant();
  }
  Flow flow = Flow::Normal;
  try {
    flow = ExecBlock(s.body);
  } catch (...) {
    *hidden = Variant();
    throw;
  }
  *hidden = Variant();
  return flow;
}

void Interpreter::ExecReDim(const Stmt& s) {
  // ReDim Preserve of a fixed array looks at the new bounds before it refuses.
  if (s.fixedArray && !s.preserve) Raise(RuntimeError::ArrayLocked);
  for (const ReDimItem& item : s.redims) {
    std::vector<VariantArray::Bounds> bounds;
    size_t count = 1;
    for (const ExprPtr& bound : item.bounds) {
      int32_t upper = Eval(*bound).ToI4();
      if (upper < -1) Raise(RuntimeError::SubscriptOutOfRange);
      bounds.push_back({0, upper});
      auto extent = static_cast<size_t>(int64_t{upper} + 1);
      if (extent != 0 && count > options_.maxArrayElements / extent) {
        Raise(RuntimeError::OutOfMemory);
      }
      count *= extent;
    }
    if (bounds.size() > VariantArray::kMaxDimensions) Raise(RuntimeError::SubscriptOutOfRange);
    if (s.fixedArray) Raise(RuntimeError::ArrayLocked);
    CheckArrayElements(count);
    Variant* slot = LocateWritable(*item.target);
    if (s.preserve && slot->Type() == VarType::VariantArray && slot->AsArray().IsAllocated()) {
      slot->AsArray().Redim(bounds, true);
    } else if (s.preserve && slot->Type() == VarType::ByteArray && bounds.size() == 1) {
      const platform::ByteArray& old = slot->AsByteArray();
      platform::ByteArray resized = platform::ByteArray::Allocate(count);
      std::memcpy(resized.Data(), old.Data(), std::min(count, old.Size()));
      *slot = Variant(std::move(resized));
    } else {
      *slot = Variant(VariantArray::Create(bounds));
    }
  }
}

void Interpreter::ExecErase(const Stmt& s) {
  Variant* slot = LocateWritable(*s.target);
  switch (slot->Type()) {
    case VarType::VariantArray:
      if (s.fixedArray) {
        for (Variant& element : slot->AsArray().Elements())
          element = Variant();
      } else {
        *slot = Variant(VariantArray());
      }
      return;
    case VarType::ByteArray:
      *slot = Variant(platform::ByteArray());
      return;
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

// ---------------------------------------------------------------------------------------------
// Expressions

Variant Interpreter::Eval(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Literal:
      return e.value;
    case ExprKind::Local:
      return *LocalSlot(e.slot);
    case ExprKind::Global:
      return GlobalAt(e.slot);
    case ExprKind::Dynamic:
      if (bound_[e.slot] == kBoundProcedure) {
        // A procedure that ExecuteGlobal defined after this code was compiled: a call.
        ObjectRef procedure = globals_[e.slot].AsObject();
        return procedure->Invoke(platform::kDispIdValue, InvokeKind::Method, {});
      }
      return *DynamicSlot(e);
    case ExprKind::Paren:
      return Eval(*e.a);
    case ExprKind::Unary: {
      Variant temp;
      return ops::Unary(e.op, EvalRef(*e.a, temp));
    }
    case ExprKind::Binary:
      return EvalBinary(e);
    case ExprKind::Is: {
      Variant a = Eval(*e.a);
      Variant temp;
      return Variant::Bool(ops::Is(a, EvalRef(*e.b, temp)));
    }
    case ExprKind::CallProc:
      return CallProcedure(*procs_[e.slot], e, nullptr);
    case ExprKind::CallBuiltin: {
      static const int randomize = FindBuiltin(u"randomize");
      // Randomize is a statement: it has no value to give.
      if (static_cast<int>(e.slot) == randomize) Raise(RuntimeError::TypeMismatch);
      return CallBuiltin(e);
    }
    case ExprKind::Index:
      return EvalIndex(e, kGet);
    case ExprKind::Member:
      return CallMember(e, kGet);
    case ExprKind::Field:
      return *LocateVariable(e);
    case ExprKind::Me:
      if (frame_->me == nullptr) return Variant(ScriptSelf());
      return Variant(ObjectRef(frame_->me->shared_from_this()));
    case ExprKind::ClassCall:
      return CallClassMember(e);
    case ExprKind::New:
      return NewObject(e);
    case ExprKind::Unqualified:
      Raise(RuntimeError::UnqualifiedReference);
    default:
      Raise(RuntimeError::InternalError);
  }
}

const Variant& Interpreter::EvalRef(const Expr& e, Variant& temp) {
  switch (e.kind) {
    case ExprKind::Literal:
      return e.value;
    case ExprKind::Local:
      return *LocalSlot(e.slot);
    case ExprKind::Global:
      return GlobalAt(e.slot);
    case ExprKind::Dynamic:
      return *DynamicSlot(e);
    case ExprKind::Field:
      return *LocateVariable(e);
    case ExprKind::Paren:
      return EvalRef(*e.a, temp);
    default:
      temp = Eval(e);
      return temp;
  }
}

Variant Interpreter::EvalBinary(const Expr& e) {
  CheckStack();
  Variant leftTemp, rightTemp;
  // The left operand is read in place only when the right one cannot change it.
  const Variant& left = e.b->pure ? EvalRef(*e.a, leftTemp) : (leftTemp = Eval(*e.a));
  const Variant& right = EvalRef(*e.b, rightTemp);
  if (e.op == Op::Concat) return ops::Concat(left, right, options_.maxStringLength);
  return ops::Binary(e.op, left, right, e.a->hard, e.b->hard);
}

void Interpreter::EvalArgs(const Expr& e, std::span<Variant> out) {
  for (size_t i = 0; i < out.size(); ++i) {
    const ExprPtr& arg = e.args[i];
    out[i] = arg ? Eval(*arg) : Variant::Missing();
  }
}

Variant Interpreter::EvalIndex(const Expr& e, InvokeKind kind) {
  CheckStack();
  VariantBuffer args(e.args.size());
  EvalArgs(e, args.span());
  Variant temp;
  const Variant& base = EvalRef(*e.a, temp);
  return IndexValue(base, args.span(), e, kind);
}

Variant Interpreter::IndexValue(const Variant& base, std::span<Variant> args, const Expr& e,
                                InvokeKind kind) {
  switch (base.Type()) {
    case VarType::VariantArray: {
      IndexList indices(args);
      const Variant* element = base.AsArray().Find(indices.get());
      if (element == nullptr) Raise(RuntimeError::SubscriptOutOfRange);
      return *element;
    }
    case VarType::ByteArray:
      if (args.size() != 1) Raise(RuntimeError::SubscriptOutOfRange);
      return Variant::Byte(base.AsByteArray().At(IndexOf(args[0])));
    case VarType::Dispatch: {
      ObjectRef object = base.AsObject();
      if (!object) Raise(RuntimeError::ObjectNotSet);
      return object->Invoke(platform::kDispIdValue, kind, args);
    }
    default:
      Raise(RuntimeError::TypeMismatch, e.a && !e.a->name.empty() ? Quoted(e.a->name) : "");
  }
}

Variant Interpreter::CallMember(const Expr& e, InvokeKind kind) {
  CheckStack();
  Variant temp;
  const Variant& holder = EvalRef(*e.a, temp);
  if (!holder.IsObject()) {
    Raise(RuntimeError::ObjectRequired, e.a->name.empty() ? "" : Quoted(e.a->name));
  }
  ObjectRef object = holder.AsObject();  // keeps the object alive while the arguments run
  if (!object) Raise(RuntimeError::ObjectRequired, e.a->name.empty() ? "" : Quoted(e.a->name));
  platform::DispId id = object->GetIdOfName(e.name);
  if (id == platform::kDispIdUnknown) Raise(RuntimeError::MemberNotFound, Quoted(e.name));
  size_t count = e.args.size();
  VariantBuffer args(count);
  InlineBuffer<Reference> refs(count);
  for (size_t i = 0; i < count; ++i) {
    if (e.args[i]) {
      MakeReference(*e.args[i], refs[i], args[i]);
    } else {
      args[i] = Variant::Missing();
    }
  }
  auto writeBack = [&] {
    for (size_t i = 0; i < count; ++i) {
      if (refs[i].kind != Reference::Kind::None) WriteBack(refs[i], std::move(args[i]));
    }
  };
  Variant result;
  try {
    result = object->Invoke(id, kind, args.span());
  } catch (...) {
    // A member that fails after writing an in/out parameter leaves its write in place.
    try {
      writeBack();
    } catch (const platform::Error&) {
    }
    throw;
  }
  writeBack();
  return result;
}

// Evaluates a by-reference argument: a variable or an array element gives a reference and a
// copy of its value; anything else just its value.
bool Interpreter::MakeReference(const Expr& arg, Reference& ref, Variant& value) {
  if (IsVariable(arg) && !IsHostItem(arg)) {
    ref.kind = Reference::Kind::Variable;
    ref.slot = LocateVariable(arg);
    value = *ref.slot;
    return true;
  }
  if (arg.kind == ExprKind::Index && IsVariable(*arg.a)) {
    VariantBuffer args(arg.args.size());
    EvalArgs(arg, args.span());
    Variant* slot = LocateVariable(*arg.a);
    if (slot->Type() == VarType::VariantArray || slot->Type() == VarType::ByteArray) {
      ref.kind = Reference::Kind::Element;
      ref.slot = slot;
      ref.indices = IndicesOf(args.span());
      value = IndexValue(*slot, args.span(), arg, kGet);
      return true;
    }
    value = IndexValue(*slot, args.span(), arg, kGet);
    return false;
  }
  value = Eval(arg);
  return false;
}

void Interpreter::WriteBack(const Reference& ref, Variant&& value) {
  if (ref.kind == Reference::Kind::Variable) {
    *ref.slot = std::move(value);
    return;
  }
  if (ref.slot->Type() == VarType::VariantArray) {
    // The array may have been resized meanwhile: an element that is gone takes nothing back.
    if (Variant* element = ref.slot->AsArray().Find(ref.indices)) {
      CheckNesting(value);
      *element = std::move(value);
    }
  } else if (ref.slot->Type() == VarType::ByteArray && ref.indices.size() == 1) {
    platform::ByteArray& bytes = ref.slot->AsByteArray();
    int64_t index = ref.indices[0];
    if (bytes.IsAllocated() && index >= bytes.LBound() && index <= bytes.UBound()) {
      bytes.Set(index, value.ToUI1());
    }
  }
}

Variant Interpreter::CallProcedure(const Procedure& proc, const Expr& e, ClassInstance* me) {
  if (e.args.size() != proc.params.size()) {
    Raise(RuntimeError::WrongArgumentCount, Quoted(proc.name));
  }
  CheckStack();
  FrameArena::Lease lease(arena_, proc.localCount);
  Variant* storage = lease.values();
  Variant** slots = lease.slots();
  std::vector<std::pair<Reference, uint32_t>> elements;
  for (size_t i = 0; i < proc.params.size(); ++i) {
    const Param& param = proc.params[i];
    const Expr* arg = e.args[i].get();
    if (arg == nullptr) {
      storage[param.slot] = Variant::Missing();
    } else if (!param.byRef) {
      storage[param.slot] = Eval(*arg);
    } else if (IsVariable(*arg) && !IsHostItem(*arg)) {
      // By reference: the parameter is the caller's variable itself.
      slots[param.slot] = LocateVariable(*arg);
    } else {
      Reference ref;
      if (MakeReference(*arg, ref, storage[param.slot])) {
        elements.emplace_back(std::move(ref), param.slot);
      }
    }
  }
  for (const ArrayInit& init : proc.arrays)
    InitArray(init, storage[init.slot]);
  Frame frame{slots, false, me, &proc, nullptr};
  {
    FrameScope scope(*this, frame);
    try {
      ExecBlock(proc.body);
    } catch (...) {
      for (auto& [ref, slot] : elements) {
        try {
          WriteBack(ref, std::move(storage[slot]));
        } catch (const platform::Error&) {
        }
      }
      throw;
    }
  }
  // An array element passed by reference gets its new value when the procedure returns.
  for (auto& [ref, slot] : elements)
    WriteBack(ref, std::move(storage[slot]));
  return proc.isFunction ? std::move(storage[0]) : Variant();
}

Variant Interpreter::CallBuiltin(const Expr& e) {
  const BuiltinInfo& info = Builtin(static_cast<int>(e.slot));
  size_t count = e.args.size();
  if (count < info.minArgs || count > info.maxArgs) {
    Raise(RuntimeError::WrongArgumentCount, Quoted(e.name));
  }
  CheckStack();
  VariantBuffer temps(count);
  std::array<const Variant*, 8> small{};
  std::vector<const Variant*> large(count > small.size() ? count : 0);
  const Variant** pointers = count > small.size() ? large.data() : small.data();
  for (size_t i = 0; i < count; ++i) {
    pointers[i] = e.args[i] ? &EvalRef(*e.args[i], temps[i]) : &missing_;
  }
  return info.function(*this, BuiltinArgs(pointers, count));
}

// ---------------------------------------------------------------------------------------------
// Variables

Variant* Interpreter::DynamicSlot(const Expr& e) {
  if (bound_[e.slot]) return &GlobalAt(e.slot);
  // A name that code compiled later under Option Explicit left undeclared.
  if (program_.optionExplicit || e.slot >= mainGlobals_) {
    Raise(RuntimeError::VariableUndefined, Quoted(e.name));
  }
  if (e.slot2 != kNoSlot) return frame_->slots[e.slot2];
  return &GlobalAt(e.slot);
}

Variant* Interpreter::LocateVariable(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Local:
      return LocalSlot(e.slot);
    case ExprKind::Global:
      return &GlobalAt(e.slot);
    case ExprKind::Dynamic:
      return DynamicSlot(e);
    case ExprKind::Field:
      return &frame_->me->Field(e.slot);
    default:
      Raise(RuntimeError::IllegalAssignment);
  }
}

Variant* Interpreter::LocateWritable(const Expr& e) {
  if (e.kind == ExprKind::Dynamic && bound_[e.slot]) {
    Raise(RuntimeError::IllegalAssignment, Quoted(e.name));
  }
  return LocateVariable(e);
}

Variant* Interpreter::LocateLValue(const Expr& e) {
  if (IsVariable(e)) return LocateVariable(e);
  if (e.kind != ExprKind::Index) return nullptr;
  // Indices first: running them may resize the array whose element is wanted.
  VariantBuffer args(e.args.size());
  EvalArgs(e, args.span());
  Variant* base = LocateLValue(*e.a);
  if (base == nullptr || base->Type() != VarType::VariantArray) return nullptr;
  IndexList indices(args.span());
  return &base->AsArray().At(indices.get());
}

void Interpreter::AssignIndex(const Expr& target, Variant value, bool isSet) {
  VariantBuffer args(target.args.size());
  EvalArgs(target, args.span());
  Variant* base = LocateLValue(*target.a);
  Variant temp;
  if (base == nullptr) {
    temp = Eval(*target.a);
    if (!temp.IsObject()) Raise(RuntimeError::IllegalAssignment);
    base = &temp;
  }
  switch (base->Type()) {
    case VarType::VariantArray: {
      IndexList indices(args.span());
      Variant& element = base->AsArray().At(indices.get());
      CheckNesting(value);
      element = std::move(value);
      return;
    }
    case VarType::ByteArray:
      if (args.size() != 1) Raise(RuntimeError::SubscriptOutOfRange);
      base->AsByteArray().Set(IndexOf(args[0]), value.ToUI1());
      return;
    case VarType::Dispatch: {
      ObjectRef object = base->AsObject();
      if (!object) Raise(RuntimeError::ObjectNotSet);
      VariantBuffer all(args.size() + 1);
      for (size_t i = 0; i < args.size(); ++i)
        all[i] = std::move(args[i]);
      all[args.size()] = std::move(value);
      object->Invoke(platform::kDispIdValue,
                     isSet ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut, all.span());
      return;
    }
    default:
      Raise(RuntimeError::TypeMismatch,
            target.a->name.empty() ? std::string() : Quoted(target.a->name));
  }
}

void Interpreter::AssignMember(const Expr& target, Variant value, bool isSet) {
  Variant temp;
  const Variant& holder = EvalRef(*target.a, temp);
  if (!holder.IsObject()) {
    Raise(RuntimeError::ObjectRequired, target.a->name.empty() ? "" : Quoted(target.a->name));
  }
  ObjectRef object = holder.AsObject();
  if (!object) {
    Raise(RuntimeError::ObjectRequired, target.a->name.empty() ? "" : Quoted(target.a->name));
  }
  platform::DispId id = object->GetIdOfName(target.name);
  if (id == platform::kDispIdUnknown) Raise(RuntimeError::MemberNotFound, Quoted(target.name));
  VariantBuffer args(target.args.size() + 1);
  for (size_t i = 0; i < target.args.size(); ++i) {
    args[i] = target.args[i] ? Eval(*target.args[i]) : Variant::Missing();
  }
  args[target.args.size()] = std::move(value);
  object->Invoke(id, isSet ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut, args.span());
}

}  // namespace corvella::script
