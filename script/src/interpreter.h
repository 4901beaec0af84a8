#pragma once
// Runs a resolved program: statements, expressions, calls, and the error and stop rules.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ast.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/script/engine.h"

namespace corvella::script {

class ErrObject;
class ClassInstance;

/// How deeply arrays may hold arrays (a(0) = a, Array(Array(...))); deeper nesting raises
/// runtime error 28, so that copying and freeing such values cannot exhaust the stack.
inline constexpr int kMaxArrayNesting = 32;

/// The local variables of running procedures: blocks taken and given back in call order from
/// chunks that never move, so that a call allocates nothing and a variable passed by reference
/// keeps its address.
class FrameArena {
 public:
  /// A block of @p count Empty variables and a pointer to each, for one call.
  class Lease {
   public:
    Lease(FrameArena& arena, size_t count);
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    platform::Variant* values() const { return values_; }
    platform::Variant** slots() const { return slots_; }

   private:
    FrameArena& arena_;
    size_t count_;
    size_t chunk_ = 0;
    platform::Variant* values_ = nullptr;
    platform::Variant** slots_ = nullptr;
  };

 private:
  static constexpr size_t kChunkSize = 4096;
  struct Chunk {
    std::unique_ptr<platform::Variant[]> values;
    std::unique_ptr<platform::Variant*[]> slots;
    size_t size = 0;
    size_t used = 0;
  };
  std::vector<Chunk> chunks_;
  size_t current_ = 0;
};

class Interpreter {
 public:
  Interpreter(const Program& program, Host& host, const RunOptions& options);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  RunResult Run();

  // Services for the built-in functions.
  Host& host() { return host_; }
  /// Raises runtime error 7 when a string of @p length characters is longer than allowed.
  void CheckStringLength(size_t length) const;
  /// Raises runtime error 7 when an array of @p count elements is larger than allowed.
  void CheckArrayElements(size_t count) const;
  /// Checks a value about to be stored in an array: runtime error 28 when it is an array nested
  /// too deeply, 7 when it holds, arrays within arrays counted, more elements than allowed.
  void CheckNesting(const platform::Variant& value) const;
  /// The random-number generator of Rnd and Randomize.
  float NextRandom(std::optional<float> argument);
  void Randomize(std::optional<double> seed);
  /// The locale a script has set (SetLocale, GetLocale); formatting stays English (US).
  int32_t Locale() const { return locale_; }
  void SetLocale(int32_t locale) { locale_ = locale; }

  // Services for the objects of the script's classes.
  platform::DispId ClassMemberId(uint32_t classIndex, std::u16string_view name) const;
  const std::u16string& ClassName(uint32_t classIndex) const;
  platform::Variant InvokeClassMember(ClassInstance& self, platform::DispId id,
                                      platform::InvokeKind kind, std::span<platform::Variant> args);
  /// An object of a class is going: runs its Class_Terminate (errors there are dropped).
  void ReleaseInstance(ClassInstance& dying) noexcept;

  // Code compiled while the script runs.
  /// Execute (@p global false: in the running procedure's scope) and ExecuteGlobal.
  void ExecuteCode(std::u16string_view text, bool global);
  /// Eval: the value of an expression in the running procedure's scope.
  platform::Variant EvaluateCode(std::u16string_view text);
  /// GetRef: an object whose default method calls the procedure @p name.
  platform::ObjectRef ProcedureReference(std::u16string_view name);
  /// Calls procedure @p index (of the running script) with these arguments, as an object's
  /// method is called.
  platform::Variant CallProcedureIndex(uint32_t index, std::span<platform::Variant> args);
  /// Me outside a class: the script as an object whose members are its global variables and
  /// procedures.
  platform::ObjectRef ScriptSelf();
  platform::DispId GlobalMemberId(std::u16string_view name) const;
  platform::Variant InvokeGlobalMember(platform::DispId id, platform::InvokeKind kind,
                                       std::span<platform::Variant> args);

 private:
  enum class Flow : uint8_t { Normal, ExitFor, ExitDo, ExitProcedure };
  struct Frame {
    platform::Variant** slots = nullptr;
    bool resumeNext = false;
    ClassInstance* me = nullptr;  // the object whose method runs
    const Procedure* proc = nullptr;  // the running procedure; nullptr at the top level
    std::unique_ptr<std::deque<platform::Variant>> executed;  // what Execute declared here
  };
  struct Interrupt {
    RunStatus status;
  };
  // Makes a frame the running one for as long as it lives.
  class FrameScope {
   public:
    FrameScope(Interpreter& interpreter, Frame& frame)
        : interpreter_(interpreter), saved_(interpreter.frame_) {
      interpreter.frame_ = &frame;
    }
    ~FrameScope() { interpreter_.frame_ = saved_; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

   private:
    Interpreter& interpreter_;
    Frame* saved_;
  };
  struct Reference;

  // Statements.
  Flow ExecBlock(const Block& block);
  Flow ExecGuarded(const Stmt& s);
  bool HandleError(const platform::Error& error, const Stmt& s);
  Flow Exec(const Stmt& s);
  void ExecAssign(const Stmt& s);
  bool TryAppend(const Stmt& s);
  Flow ExecIf(const Stmt& s);
  Flow ExecFor(const Stmt& s);
  Flow ExecForEach(const Stmt& s);
  Flow ExecDo(const Stmt& s);
  Flow ExecSelect(const Stmt& s);
  Flow ExecWith(const Stmt& s);
  void ExecReDim(const Stmt& s);
  void ExecErase(const Stmt& s);
  void ExecCallStatement(const Expr& e);
  bool Test(const Expr& condition, bool enterOnError, Pos at);
  bool ResumeInHeader(const platform::Error& error, Pos at);

  // Expressions.
  platform::Variant Eval(const Expr& e);
  const platform::Variant& EvalRef(const Expr& e, platform::Variant& temp);
  platform::Variant EvalBinary(const Expr& e);
  platform::Variant EvalIndex(const Expr& e, platform::InvokeKind kind);
  platform::Variant IndexValue(const platform::Variant& base, std::span<platform::Variant> args,
                               const Expr& e, platform::InvokeKind kind);
  platform::Variant CallMember(const Expr& e, platform::InvokeKind kind);
  platform::Variant CallProcedure(const Procedure& proc, const Expr& e, ClassInstance* me);
  platform::Variant CallWithValues(const Procedure& proc, std::span<platform::Variant> args,
                                   ClassInstance* me);
  platform::Variant CallClassMember(const Expr& e);
  platform::Variant NewObject(const Expr& e);
  platform::Variant FieldAccess(platform::Variant& field, platform::InvokeKind kind,
                                std::span<platform::Variant> args);
  /// Empties the script's variables while the interpreter can still run Class_Terminate, then
  /// breaks the cycles of objects that hold each other.
  void ReleaseAll();
  platform::Variant CallBuiltin(const Expr& e);
  void EvalArgs(const Expr& e, std::span<platform::Variant> out);

  // Variables and assignment.
  platform::Variant* LocateVariable(const Expr& e);
  /// As LocateVariable, for a variable about to be replaced: runtime error 501 for a name bound
  /// to one of the host's objects.
  platform::Variant* LocateWritable(const Expr& e);
  /// Whether @p e names one of the host's objects (passed by value, never replaced).
  bool IsHostItem(const Expr& e) const {
    return e.kind == ExprKind::Dynamic && bound_[e.slot] != 0;
  }
  platform::Variant* DynamicSlot(const Expr& e);
  /// Local slot @p slot of the running procedure, or a variable that Execute declared in it.
  platform::Variant* LocalSlot(uint32_t slot) {
    return slot < kExecuteLocalBase ? frame_->slots[slot] : &ExecuteLocal(slot - kExecuteLocalBase);
  }
  platform::Variant& ExecuteLocal(uint32_t index);
  platform::Variant* LocateLValue(const Expr& e);
  void AssignIndex(const Expr& target, platform::Variant value, bool isSet);
  void AssignMember(const Expr& target, platform::Variant value, bool isSet);
  bool MakeReference(const Expr& arg, Reference& ref, platform::Variant& value);
  void WriteBack(const Reference& ref, platform::Variant&& value);
  void InitArray(const ArrayInit& init, platform::Variant& slot);
  /// Global slot @p slot: the script's own, or one that code compiled while it runs added.
  platform::Variant& GlobalAt(uint32_t slot) {
    return slot < mainGlobals_ ? globals_[slot] : extra_[slot - mainGlobals_];
  }
  /// Compiles code for Execute, ExecuteGlobal (@p global) or Eval (@p expression) and adds its
  /// names, procedures and classes to the running script's.
  const Program& CompileSnippet(std::u16string_view text, bool global, bool expression);

  void Tick() {
    if (++steps_ >= nextCheck_ || flag_->load(std::memory_order_relaxed)) CheckInterrupts();
  }
  void CheckInterrupts();
  void CheckStack() const {
    if (StackAddress() < stackLimit_) StackOverflow();
  }
  [[noreturn]] static void StackOverflow();
  /// The address of the current stack frame, to measure the stack that nested calls use.
  static uintptr_t StackAddress() {
#if defined(__GNUC__) || defined(__clang__)
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#else
    volatile char marker = 0;
    return reinterpret_cast<uintptr_t>(&marker);
#endif
  }

  const Program& program_;
  Host& host_;
  const RunOptions& options_;
  std::vector<platform::Variant> globals_;
  // bound_ of a global that holds one of the host's objects, and of one that names a procedure
  // that ExecuteGlobal defined after the code that uses the name was compiled.
  static constexpr uint8_t kBoundItem = 1;
  static constexpr uint8_t kBoundProcedure = 2;
  std::vector<uint8_t> bound_;
  std::shared_ptr<ErrObject> err_;
  Frame* frame_ = nullptr;
  std::optional<Pos> errorPosition_;
  platform::RunLimits* limits_ = nullptr;
  const std::atomic<bool>* flag_ = nullptr;  // the watchdog's, raised at the deadline
  uint64_t steps_ = 0;
  uint64_t nextCheck_ = 0;
  uintptr_t stackLimit_ = 0;
  uint32_t randomSeed_ = 0x50000;
  int32_t locale_ = 1033;
  float lastRandom_ = 0x50000 / 16777216.0f;  // Rnd(0) before any Rnd: the first seed's
  platform::Variant missing_;
  FrameArena arena_;
  std::shared_ptr<Interpreter*> self_;  // null once the interpreter has gone
  std::unordered_set<ClassInstance*> live_;
  platform::ObjectRef scriptSelf_;  // Me outside a class, made when first named
  // The script's procedures, classes and global names, with those of code compiled while it runs.
  std::vector<const Procedure*> procs_;
  std::vector<const ClassDef*> classes_;
  NameTable names_;
  uint32_t mainGlobals_ = 0;
  std::deque<platform::Variant> extra_;
  std::vector<std::shared_ptr<const Program>> snippets_;
  std::unordered_map<std::u16string, std::shared_ptr<const Program>> snippetCache_;
  // Per procedure, the names that Execute declared in it: folded name -> index.
  std::unordered_map<const Procedure*, std::unordered_map<std::u16string, uint32_t>>
      executeLocals_;
};

}  // namespace corvella::script
