// Code that a script compiles while it runs: Execute, ExecuteGlobal and Eval, which see the
// names of the running scope, and GetRef, which makes a procedure into an object to call back.

#include <memory>
#include <utility>

#include "class_object.h"
#include "corvella/platform/error.h"
#include "err_object.h"
#include "corvella/platform/text.h"
#include "interpreter.h"
#include "lexer.h"
#include "parser.h"
#include "resolver.h"

namespace corvella::script {

using platform::InvokeKind;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

namespace {

// How many distinct texts are kept compiled, so that code run in a loop compiles once.
constexpr size_t kSnippetCacheSize = 1024;

// The object that GetRef answers: its default method calls the procedure.
class ProcedureRef final : public platform::Dispatchable {
 public:
  ProcedureRef(std::shared_ptr<Interpreter*> runtime, uint32_t index)
      : runtime_(std::move(runtime)), index_(index) {}
  platform::DispId GetIdOfName(std::u16string_view) const override {
    return platform::kDispIdUnknown;
  }
  Variant Invoke(platform::DispId id, InvokeKind, std::span<Variant> args) override {
    Interpreter* runtime = *runtime_;
    if (runtime == nullptr) Raise(RuntimeError::ObjectRequired);
    if (id != platform::kDispIdValue) Raise(RuntimeError::MemberNotFound);
    return runtime->CallProcedureIndex(index_, args);
  }

 private:
  std::shared_ptr<Interpreter*> runtime_;
  uint32_t index_;
};

// The object that Me names outside a class: the script itself, whose members are its global
// variables and procedures.
class ScriptObject final : public platform::Dispatchable {
 public:
  explicit ScriptObject(std::shared_ptr<Interpreter*> runtime) : runtime_(std::move(runtime)) {}
  platform::DispId GetIdOfName(std::u16string_view name) const override {
    Interpreter* runtime = *runtime_;
    return runtime == nullptr ? platform::kDispIdUnknown : runtime->GlobalMemberId(name);
  }
  Variant Invoke(platform::DispId id, InvokeKind kind, std::span<Variant> args) override {
    Interpreter* runtime = *runtime_;
    if (runtime == nullptr) Raise(RuntimeError::ObjectRequired);
    return runtime->InvokeGlobalMember(id, kind, args);
  }

 private:
  std::shared_ptr<Interpreter*> runtime_;
};

}  // namespace

ObjectRef Interpreter::ScriptSelf() {
  if (!scriptSelf_) scriptSelf_ = std::make_shared<ScriptObject>(self_);
  return scriptSelf_;
}

platform::DispId Interpreter::GlobalMemberId(std::u16string_view name) const {
  auto it = names_.find(FoldName(name));
  if (it == names_.end()) return platform::kDispIdUnknown;
  if (it->second.kind == NameBinding::Kind::Procedure) {
    return static_cast<platform::DispId>(2 * it->second.index + 1);
  }
  if (it->second.kind == NameBinding::Kind::Variable) {
    return static_cast<platform::DispId>(2 * it->second.index + 2);
  }
  return platform::kDispIdUnknown;
}

Variant Interpreter::InvokeGlobalMember(platform::DispId id, InvokeKind kind,
                                        std::span<Variant> args) {
  if (id <= 0) Raise(RuntimeError::MemberNotFound);
  if (id % 2 == 1) return CallProcedureIndex(static_cast<uint32_t>(id - 1) / 2, args);
  Variant& variable = GlobalAt(static_cast<uint32_t>(id - 2) / 2);
  if (platform::HasKind(kind, InvokeKind::PropertyPut) ||
      platform::HasKind(kind, InvokeKind::PropertyPutRef)) {
    if (args.size() != 1) Raise(RuntimeError::WrongArgumentCount);
    variable = args[0];
    return Variant();
  }
  if (!args.empty()) Raise(RuntimeError::WrongArgumentCount);
  return variable;
}

const Program& Interpreter::CompileSnippet(std::u16string_view text, bool global,
                                           bool expression) {
  const Procedure* procedure = global ? nullptr : frame_->proc;
  const ClassDef* cls =
      global || frame_->me == nullptr ? nullptr : classes_[frame_->me->ClassIndex()];
  // The same text in the same scope compiles to the same code.
  std::u16string key(1, static_cast<char16_t>((global ? 1 : 0) | (expression ? 2 : 0)));
  key.append(reinterpret_cast<const char16_t*>(&procedure), sizeof procedure / sizeof(char16_t));
  key.append(reinterpret_cast<const char16_t*>(&cls), sizeof cls / sizeof(char16_t));
  key.append(text);
  if (auto it = snippetCache_.find(key); it != snippetCache_.end()) return *it->second;

  ResolveContext context;
  context.names = &names_;
  context.procedure = procedure;
  context.cls = cls;
  if (!global && procedure) context.executeLocals = &executeLocals_[procedure];
  context.globalBase = mainGlobals_ + static_cast<uint32_t>(extra_.size());
  context.procedureBase = static_cast<uint32_t>(procs_.size());
  context.classBase = static_cast<uint32_t>(classes_.size());
  std::shared_ptr<Program> program;
  try {
    Lexed lexed = Tokenize(text);
    ParsedScript parsed = expression ? ParseExpression(lexed) : Parse(lexed);
    program = std::make_shared<Program>(Resolve(std::move(parsed), &context));
  } catch (const CompileFailure& failure) {
    // A syntax error in the text is a runtime error of the statement that ran it.
    Raise(failure.error, failure.detail);
  }
  // Its globals, procedures and classes join the script's.
  extra_.resize(program->globalCount - mainGlobals_);
  bound_.resize(program->globalCount, 0);
  for (const ArrayInit& init : program->globalArrays)
    InitArray(init, GlobalAt(init.slot));
  // New names may be the host's objects, which the script itself never named.
  for (const DynamicName& dynamic : program->dynamics) {
    ObjectRef item = platform::EqualsNoCase(dynamic.name, "err") ? ObjectRef(err_)
                                                                  : host_.NamedItem(dynamic.name);
    if (!item) continue;
    GlobalAt(dynamic.slot) = Variant(std::move(item));
    bound_[dynamic.slot] = kBoundItem;
  }
  for (const Procedure& proc : program->procedures)
    procs_.push_back(&proc);
  for (const ClassDef& def : program->classes)
    classes_.push_back(&def);
  for (const auto& [folded, binding] : program->names) {
    auto known = names_.find(folded);
    if (binding.kind == NameBinding::Kind::Procedure && known != names_.end() &&
        known->second.kind == NameBinding::Kind::Variable && known->second.index < mainGlobals_ &&
        bound_[known->second.index] != kBoundItem) {
      // Code compiled earlier took the name for a variable: it now calls the procedure.
      globals_[known->second.index] =
          Variant(ObjectRef(std::make_shared<ProcedureRef>(self_, binding.index)));
      bound_[known->second.index] = kBoundProcedure;
    }
    if (binding.kind == NameBinding::Kind::Procedure && known != names_.end() &&
        known->second.kind == NameBinding::Kind::Procedure) {
      // A procedure defined again: calls compiled before reach the new one.
      procs_[known->second.index] = procs_[binding.index];
    }
    names_.insert_or_assign(folded, binding);
  }
  snippets_.push_back(program);
  if (snippetCache_.size() < kSnippetCacheSize) snippetCache_.emplace(std::move(key), program);
  return *program;
}

void Interpreter::ExecuteCode(std::u16string_view text, bool global) {
  const Program& program = CompileSnippet(text, global, false);
  for (const ArrayInit& init : program.executeArrays)
    InitArray(init, *LocalSlot(init.slot));
  ExecBlock(program.top);
}

Variant& Interpreter::ExecuteLocal(uint32_t index) {
  if (!frame_->executed) frame_->executed = std::make_unique<std::deque<Variant>>();
  if (frame_->executed->size() <= index) frame_->executed->resize(index + size_t{1});
  return (*frame_->executed)[index];
}

Variant Interpreter::EvaluateCode(std::u16string_view text) {
  const Program& program = CompileSnippet(text, false, true);
  return Eval(*program.top.front()->value);
}

ObjectRef Interpreter::ProcedureReference(std::u16string_view name) {
  auto it = names_.find(FoldName(name));
  if (it == names_.end() || it->second.kind != NameBinding::Kind::Procedure) {
    Raise(RuntimeError::InvalidProcedureCall);
  }
  return std::make_shared<ProcedureRef>(self_, it->second.index);
}

Variant Interpreter::CallProcedureIndex(uint32_t index, std::span<Variant> args) {
  return CallWithValues(*procs_[index], args, nullptr);
}

}  // namespace corvella::script
