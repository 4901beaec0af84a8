#include "resolver.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "builtins.h"
#include "corvella/platform/error.h"
#include "operators.h"

namespace corvella::script {

using platform::RuntimeError;
using platform::Variant;

namespace {

struct Symbol {
  enum class Kind : uint8_t { Local, Global, Const, Procedure, PendingConst, Field, Member };
  Kind kind = Kind::Local;
  uint32_t index = 0;
  bool fixedArray = false;
  Variant value;
};

using Table = std::unordered_map<std::u16string, Symbol>;

[[noreturn]] void FailAt(RuntimeError error, Pos pos) {
  throw CompileFailure{error, pos.line, pos.column, {}};
}

ExprPtr MakeNode(ExprKind kind, Pos pos) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->pos = pos;
  return e;
}

class Resolver {
 public:
  explicit Resolver(const ResolveContext* context) : context_(context) {
    if (context_) program_.globalCount = context_->globalBase;
  }

  Program Run(ParsedScript parsed) {
    program_.optionExplicit = parsed.optionExplicit;
    // Declarations first: names may be used before the statement that declares them.
    for (Decl& decl : parsed.globals) {
      if (decl.kind == DeclKind::Const) DeclareConst(globals_, decl);
    }
    for (Decl& decl : parsed.globals) {
      if (decl.kind == DeclKind::Const) FoldConst(globals_, decl);
    }
    for (Decl& decl : parsed.globals) {
      if (decl.kind == DeclKind::Const || decl.kind == DeclKind::ReDim) continue;
      if (context_ && context_->executeLocals) {
        DeclareExecuteLocal(decl);
      } else {
        DeclareVariable(globals_, decl, program_.globalCount, program_.globalArrays);
      }
    }
    for (size_t i = 0; i < parsed.procedures.size(); ++i) {
      Procedure& proc = parsed.procedures[i].procedure;
      if (proc.classIndex != kNoSlot) continue;
      std::u16string folded = FoldName(proc.name);
      auto it = globals_.find(folded);
      // A procedure declared again replaces the earlier one.
      if (it != globals_.end() && it->second.kind != Symbol::Kind::Procedure) {
        FailAt(RuntimeError::NameRedefined, proc.pos);
      }
      Symbol symbol;
      symbol.kind = Symbol::Kind::Procedure;
      symbol.index = ProcedureBase() + static_cast<uint32_t>(i);
      globals_.insert_or_assign(std::move(folded), std::move(symbol));
    }
    DeclareClasses(parsed);
    for (Decl& decl : parsed.globals) {
      if (decl.kind == DeclKind::ReDim && !globals_.count(FoldName(decl.name))) {
        decl.kind = DeclKind::Var;
        DeclareVariable(globals_, decl, program_.globalCount, program_.globalArrays);
      }
    }

    ResolveBlock(parsed.top);
    program_.top = std::move(parsed.top);

    for (ParsedProcedure& parsedProc : parsed.procedures) {
      ResolveProcedure(parsedProc);
      program_.procedures.push_back(std::move(parsedProc.procedure));
    }
    ExportNames();
    return std::move(program_);
  }

 private:
  // ------------------------------------------------------------------------------------------
  // Classes

  uint32_t ProcedureBase() const { return context_ ? context_->procedureBase : 0; }
  uint32_t ClassBase() const { return context_ ? context_->classBase : 0; }

  // The global names for code compiled later: all of them, or with a context those it adds.
  void ExportNames() {
    for (const auto& [folded, symbol] : globals_) {
      NameBinding binding;
      switch (symbol.kind) {
        case Symbol::Kind::Global:
          binding.kind = NameBinding::Kind::Variable;
          break;
        case Symbol::Kind::Const:
          binding.kind = NameBinding::Kind::Const;
          binding.value = symbol.value;
          break;
        case Symbol::Kind::Procedure:
          binding.kind = NameBinding::Kind::Procedure;
          break;
        default:
          continue;
      }
      binding.index = symbol.index;
      program_.names.insert_or_assign(folded, std::move(binding));
    }
    for (const auto& [folded, info] : dynamicIndex_) {
      NameBinding binding;
      binding.index = program_.dynamics[info.index].slot;
      program_.names.emplace(folded, std::move(binding));
    }
    for (const auto& [folded, slot] : contextGlobals_) {
      NameBinding binding;
      binding.index = slot;
      program_.names.emplace(folded, std::move(binding));
    }
    for (const auto& [folded, index] : classIndex_) {
      NameBinding binding;
      binding.kind = NameBinding::Kind::Class;
      binding.index = index;
      program_.names.emplace(folded, std::move(binding));
    }
  }

  // A name of the running script, for code compiled with a context.
  const Symbol* FindInContext(const std::u16string& folded) {
    if (!context_) return nullptr;
    if (context_->procedure && !proc_) {
      auto it = context_->procedure->localNames.find(folded);
      if (it != context_->procedure->localNames.end()) {
        contextSymbol_ = Symbol();
        contextSymbol_.kind = Symbol::Kind::Local;
        contextSymbol_.index = it->second;
        return &contextSymbol_;
      }
      if (context_->executeLocals) {
        auto local = context_->executeLocals->find(folded);
        if (local != context_->executeLocals->end()) {
          contextSymbol_ = Symbol();
          contextSymbol_.kind = Symbol::Kind::Local;
          contextSymbol_.index = kExecuteLocalBase + local->second;
          return &contextSymbol_;
        }
      }
    }
    if (context_->cls && !class_) {
      auto it = context_->cls->index.find(folded);
      if (it != context_->cls->index.end()) {
        const ClassMember& member = context_->cls->members[it->second];
        contextSymbol_ = Symbol();
        contextSymbol_.kind = member.field != kNoSlot ? Symbol::Kind::Field : Symbol::Kind::Member;
        contextSymbol_.index = member.field != kNoSlot ? member.field : it->second;
        return &contextSymbol_;
      }
    }
    auto it = context_->names->find(folded);
    if (it == context_->names->end()) return nullptr;
    contextSymbol_ = Symbol();
    switch (it->second.kind) {
      case NameBinding::Kind::Variable:
        contextSymbol_.kind = Symbol::Kind::Global;
        break;
      case NameBinding::Kind::Const:
        contextSymbol_.kind = Symbol::Kind::Const;
        contextSymbol_.value = it->second.value;
        break;
      case NameBinding::Kind::Procedure:
        contextSymbol_.kind = Symbol::Kind::Procedure;
        break;
      case NameBinding::Kind::Class:
        return nullptr;
    }
    contextSymbol_.index = it->second.index;
    return &contextSymbol_;
  }

  void DeclareClasses(ParsedScript& parsed) {
    for (ParsedClass& parsedClass : parsed.classes) {
      ClassDef def;
      def.name = parsedClass.name;
      def.pos = parsedClass.pos;
      Table table;
      std::u16string folded = FoldName(def.name);
      if (classIndex_.count(folded)) FailAt(RuntimeError::NameRedefined, def.pos);
      classIndex_.emplace(folded, ClassBase() + static_cast<uint32_t>(program_.classes.size()));
      for (Decl& decl : parsedClass.fields) {
        uint32_t member = AddMember(def, decl.name, decl.isPublic, decl.pos, true);
        ClassMember& m = def.members[member];
        if (m.field != kNoSlot || m.method != kNoSlot) FailAt(RuntimeError::NameRedefined, decl.pos);
        Table scratch;
        DeclareVariable(scratch, decl, def.fieldCount, def.fieldArrays);
        m.field = scratch.begin()->second.index;
      }
      program_.classes.push_back(std::move(def));
    }
    for (size_t i = 0; i < parsed.procedures.size(); ++i) {
      Procedure& proc = parsed.procedures[i].procedure;
      if (proc.classIndex == kNoSlot) continue;
      ClassDef& def = program_.classes[proc.classIndex];
      auto index = ProcedureBase() + static_cast<uint32_t>(i);
      uint32_t member = AddMember(def, proc.name, proc.isPublic, proc.pos, false);
      ClassMember& m = def.members[member];
      uint32_t* place = &m.method;
      if (proc.procKind == ProcKind::Get) place = &m.get;
      if (proc.procKind == ProcKind::Let) place = &m.let;
      if (proc.procKind == ProcKind::Set) place = &m.set;
      bool clash = m.field != kNoSlot || *place != kNoSlot ||
                   (place == &m.method ? m.get != kNoSlot || m.let != kNoSlot || m.set != kNoSlot
                                       : m.method != kNoSlot);
      if (clash) FailAt(RuntimeError::NameRedefined, proc.pos);
      *place = index;
      if (proc.isPublic) m.isPublic = true;
      if (proc.isDefault) {
        if (def.defaultMember != kNoSlot && def.defaultMember != member) {
          FailAt(RuntimeError::MultipleDefaults, proc.pos);
        }
        def.defaultMember = member;
      }
      std::u16string folded = FoldName(proc.name);
      if (proc.procKind == ProcKind::Sub &&
          (folded == u"class_initialize" || folded == u"class_terminate")) {
        if (!proc.params.empty()) FailAt(RuntimeError::ClassEventArguments, proc.pos);
        (folded == u"class_initialize" ? def.initialize : def.terminate) = index;
      }
    }
  }

  static uint32_t AddMember(ClassDef& def, const std::u16string& name, bool isPublic, Pos,
                            bool field) {
    std::u16string folded = FoldName(name);
    auto it = def.index.find(folded);
    if (it != def.index.end()) return it->second;
    ClassMember member;
    member.name = name;
    member.isPublic = field ? isPublic : false;
    auto index = static_cast<uint32_t>(def.members.size());
    def.members.push_back(std::move(member));
    def.index.emplace(std::move(folded), index);
    return index;
  }

  // ------------------------------------------------------------------------------------------
  // Declarations

  void DeclareVariable(Table& table, Decl& decl, uint32_t& count, std::vector<ArrayInit>& arrays) {
    std::u16string folded = FoldName(decl.name);
    if (table.count(folded)) FailAt(RuntimeError::NameRedefined, decl.pos);
    Symbol symbol;
    symbol.kind = &table == &globals_ ? Symbol::Kind::Global : Symbol::Kind::Local;
    // Code run by ExecuteGlobal that declares a variable the script already has uses it.
    const NameBinding* known = nullptr;
    if (context_ && &table == &globals_) {
      auto it = context_->names->find(folded);
      if (it != context_->names->end() && it->second.kind == NameBinding::Kind::Variable) {
        known = &it->second;
      }
    }
    symbol.index = known ? known->index : count++;
    if (decl.kind == DeclKind::FixedArray || decl.kind == DeclKind::DynamicArray) {
      ArrayInit init;
      init.slot = symbol.index;
      init.pos = decl.pos;
      for (ExprPtr& bound : decl.bounds) {
        ResolveExpr(bound);
        Variant value = FoldConstant(*bound, RuntimeError::ExpectedIntegerConstant);
        int32_t upper = 0;
        try {
          upper = value.ToI4();
        } catch (const platform::Error&) {
          FailAt(RuntimeError::ExpectedIntegerConstant, bound->pos);
        }
        if (upper < -1) FailAt(RuntimeError::ExpectedIntegerConstant, bound->pos);
        init.bounds.push_back({0, upper});
      }
      symbol.fixedArray = decl.kind == DeclKind::FixedArray;
      arrays.push_back(std::move(init));
    }
    table.emplace(std::move(folded), std::move(symbol));
  }

  // Dim in code that Execute runs in a procedure: a variable of that procedure's call.
  void DeclareExecuteLocal(Decl& decl) {
    std::u16string folded = FoldName(decl.name);
    if (globals_.count(folded)) FailAt(RuntimeError::NameRedefined, decl.pos);
    uint32_t slot = 0;
    auto local = context_->procedure->localNames.find(folded);
    if (local != context_->procedure->localNames.end()) {
      // A name the procedure's own code uses undeclared: that local is the one declared.
      slot = local->second;
    } else {
      auto& names = *context_->executeLocals;
      auto known = names.find(folded);
      uint32_t index = known != names.end() ? known->second : static_cast<uint32_t>(names.size());
      names.emplace(folded, index);
      slot = kExecuteLocalBase + index;
    }
    Table declared;
    DeclareVariable(declared, decl, slot, program_.executeArrays);
    globals_.insert(declared.begin(), declared.end());
  }

  void DeclareConst(Table& table, Decl& decl) {
    std::u16string folded = FoldName(decl.name);
    if (table.count(folded)) FailAt(RuntimeError::NameRedefined, decl.pos);
    Symbol symbol;
    symbol.kind = Symbol::Kind::PendingConst;
    table.emplace(std::move(folded), std::move(symbol));
  }

  void FoldConst(Table& table, Decl& decl) {
    ResolveExpr(decl.value);
    Variant value = FoldConstant(*decl.value, RuntimeError::ExpectedLiteralConstant);
    Symbol& symbol = table.at(FoldName(decl.name));
    symbol.kind = Symbol::Kind::Const;
    symbol.value = std::move(value);
  }

  // The value of a resolved constant expression: literals, constants and operators on them.
  static Variant FoldConstant(const Expr& e, RuntimeError error) {
    try {
      switch (e.kind) {
        case ExprKind::Literal:
          return e.value;
        case ExprKind::Paren:
          return FoldConstant(*e.a, error);
        case ExprKind::Unary:
          return ops::Unary(e.op, FoldConstant(*e.a, error));
        case ExprKind::Binary: {
          Variant a = FoldConstant(*e.a, error), b = FoldConstant(*e.b, error);
          if (e.op == Op::Concat) return ops::Concat(a, b, size_t{1} << 20);
          return ops::Binary(e.op, a, b, e.a->hard, e.b->hard);
        }
        default:
          break;
      }
    } catch (const platform::Error&) {
    }
    FailAt(error, e.pos);
  }

  void ResolveProcedure(ParsedProcedure& parsed) {
    Procedure& proc = parsed.procedure;
    Table locals;
    uint32_t count = 1;  // the result of a Function; a Sub's own name as a variable
    for (Param& param : proc.params) {
      std::u16string folded = FoldName(param.name);
      if (locals.count(folded)) FailAt(RuntimeError::NameRedefined, param.pos);
      param.slot = count++;
      Symbol symbol;
      symbol.kind = Symbol::Kind::Local;
      symbol.index = param.slot;
      locals.emplace(std::move(folded), std::move(symbol));
    }
    locals_ = &locals;
    proc_ = &proc;
    class_ = proc.classIndex == kNoSlot ? nullptr : &program_.classes[proc.classIndex];
    procName_ = FoldName(proc.name);
    localCount_ = &count;
    implicitLocals_.clear();
    for (Decl& decl : parsed.decls) {
      if (decl.kind == DeclKind::Const) DeclareConst(locals, decl);
    }
    for (Decl& decl : parsed.decls) {
      if (decl.kind == DeclKind::Const) FoldConst(locals, decl);
    }
    for (Decl& decl : parsed.decls) {
      if (decl.kind != DeclKind::Const && decl.kind != DeclKind::ReDim) {
        DeclareVariable(locals, decl, count, proc.arrays);
      }
    }
    for (Decl& decl : parsed.decls) {
      std::u16string folded = FoldName(decl.name);
      bool isField = class_ && class_->index.count(folded);
      if (decl.kind == DeclKind::ReDim && !locals.count(folded) && !isField &&
          !IsGlobalVariable(folded)) {
        decl.kind = DeclKind::Var;
        DeclareVariable(locals, decl, count, proc.arrays);
      }
    }
    ResolveBlock(proc.body);
    proc.localCount = count;
    for (const auto& [folded, symbol] : locals) {
      if (symbol.kind == Symbol::Kind::Local) proc.localNames.emplace(folded, symbol.index);
    }
    for (const auto& [folded, slot] : implicitLocals_)
      proc.localNames.emplace(folded, slot);
    if (proc.isFunction || proc.procKind == ProcKind::Sub) proc.localNames.emplace(procName_, 0);
    locals_ = nullptr;
    proc_ = nullptr;
    class_ = nullptr;
    localCount_ = nullptr;
  }

  bool IsGlobalVariable(const std::u16string& folded) const {
    auto it = globals_.find(folded);
    return it != globals_.end() && it->second.kind == Symbol::Kind::Global;
  }

  // ------------------------------------------------------------------------------------------
  // Names

  // A name declared nowhere: a host's global object, or else an implicit variable. At the top
  // level it is a global; in a procedure it is global when the top level uses it too, else a
  // local of the procedure unless the host binds an object to it.
  ExprPtr MakeDynamic(const Expr& name) {
    std::u16string folded = FoldName(name.name);
    if (context_) {
      // Code compiled while the script runs makes a new global of a name declared nowhere.
      auto it = contextGlobals_.find(folded);
      if (it == contextGlobals_.end()) {
        it = contextGlobals_.emplace(folded, program_.globalCount++).first;
        program_.dynamics.push_back(DynamicName{name.name, it->second});  // for the host to bind
      }
      // Under Option Explicit the name is undefined unless the host binds an object to it.
      ExprPtr e =
          MakeNode(program_.optionExplicit ? ExprKind::Dynamic : ExprKind::Global, name.pos);
      e->name = name.name;
      e->slot = it->second;
      return e;
    }
    auto it = dynamicIndex_.find(folded);
    if (it == dynamicIndex_.end()) {
      DynamicName dynamic{name.name, program_.globalCount++};
      program_.dynamics.push_back(std::move(dynamic));
      it =
          dynamicIndex_.emplace(folded, DynamicInfo{program_.dynamics.size() - 1, proc_ == nullptr})
              .first;
    }
    ExprPtr e = MakeNode(ExprKind::Dynamic, name.pos);
    e->name = name.name;
    e->slot = program_.dynamics[it->second.index].slot;
    if (proc_ != nullptr && !it->second.usedAtTop) {
      auto local = implicitLocals_.find(folded);
      if (local == implicitLocals_.end()) {
        local = implicitLocals_.emplace(folded, (*localCount_)++).first;
      }
      e->slot2 = local->second;
    }
    return e;
  }

  ExprPtr MakeVariable(const Symbol& symbol, const std::u16string& name, Pos pos) {
    ExprPtr e =
        MakeNode(symbol.kind == Symbol::Kind::Global ? ExprKind::Global : ExprKind::Local, pos);
    e->slot = symbol.index;
    e->name = name;
    return e;
  }

  const Symbol* Find(const std::u16string& folded) {
    if (locals_) {
      auto it = locals_->find(folded);
      if (it != locals_->end()) return &it->second;
    }
    if (class_) {
      auto it = class_->index.find(folded);
      if (it != class_->index.end()) {
        const ClassMember& member = class_->members[it->second];
        classSymbol_ = Symbol();
        classSymbol_.kind =
            member.field != kNoSlot ? Symbol::Kind::Field : Symbol::Kind::Member;
        classSymbol_.index = member.field != kNoSlot ? member.field : it->second;
        return &classSymbol_;
      }
    }
    auto it = globals_.find(folded);
    if (it != globals_.end()) return &it->second;
    return FindInContext(folded);
  }

  // Me.name: a member of the running method's own object, called through it.
  ExprPtr MakeSelfMember(ExprPtr& e) {
    ExprPtr member = MakeNode(ExprKind::Member, e->pos);
    member->a = MakeNode(ExprKind::Me, e->pos);
    member->name = e->name;
    member->hasArgs = e->hasArgs;
    member->args = std::move(e->args);
    member->pure = false;
    return member;
  }

  // Resolves a Name node into the node for its value or call.
  void ResolveName(ExprPtr& e) {
    std::u16string folded = FoldName(e->name);
    Pos pos = e->pos;
    ExprPtr base;
    if (proc_ && proc_->isFunction && !e->hasArgs && folded == procName_) {
      base = MakeNode(ExprKind::Local, pos);
      base->slot = 0;
      base->name = e->name;
    } else if (const Symbol* symbol = Find(folded)) {
      switch (symbol->kind) {
        case Symbol::Kind::Field:
          base = MakeNode(ExprKind::Field, pos);
          base->slot = symbol->index;
          base->name = e->name;
          break;
        case Symbol::Kind::Member: {
          ExprPtr call = MakeNode(ExprKind::ClassCall, pos);
          call->slot = symbol->index;
          call->name = e->name;
          call->hasArgs = e->hasArgs;
          call->args = std::move(e->args);
          e = std::move(call);
          ResolveArgs(*e);
          e->pure = false;
          return;
        }
        case Symbol::Kind::Local:
        case Symbol::Kind::Global:
          base = MakeVariable(*symbol, e->name, pos);
          break;
        case Symbol::Kind::Const:
          base = MakeNode(ExprKind::Literal, pos);
          base->value = symbol->value;
          base->hard = true;
          break;
        case Symbol::Kind::PendingConst:
          FailAt(RuntimeError::ExpectedLiteralConstant, pos);
        case Symbol::Kind::Procedure: {
          ExprPtr call = MakeNode(ExprKind::CallProc, pos);
          call->slot = symbol->index;
          call->name = e->name;
          call->hasArgs = e->hasArgs;
          call->args = std::move(e->args);
          e = std::move(call);
          ResolveArgs(*e);
          e->pure = false;
          return;
        }
      }
    } else if (int builtin = FindBuiltin(folded); builtin >= 0) {
      ExprPtr call = MakeNode(ExprKind::CallBuiltin, pos);
      call->slot = static_cast<uint32_t>(builtin);
      call->name = e->name;
      call->hasArgs = e->hasArgs;
      call->args = std::move(e->args);
      e = std::move(call);
      ResolveArgs(*e);
      return;
    } else if (std::optional<Variant> constant = FindBuiltinConstant(folded)) {
      base = MakeNode(ExprKind::Literal, pos);
      base->value = std::move(*constant);
      base->hard = true;
    } else {
      base = MakeDynamic(*e);
    }
    if (!e->hasArgs) {
      e = std::move(base);
      return;
    }
    ExprPtr index = MakeNode(ExprKind::Index, pos);
    index->a = std::move(base);
    index->hasArgs = true;
    index->args = std::move(e->args);
    e = std::move(index);
    ResolveArgs(*e);
  }

  void ResolveArgs(Expr& e) {
    for (ExprPtr& arg : e.args) {
      if (arg) {
        ResolveExpr(arg);
        e.pure = e.pure && arg->pure;
      }
    }
  }

  void ResolveExpr(ExprPtr& e) {
    switch (e->kind) {
      case ExprKind::Name:
        ResolveName(e);
        return;
      case ExprKind::Apply: {
        // Call (((f))) (x): parentheses around a procedure's name still call it with x.
        Expr* inner = e->a.get();
        while (inner->kind == ExprKind::Paren)
          inner = inner->a.get();
        if (inner->kind == ExprKind::Name && !inner->hasArgs) {
          ExprPtr name = MakeNode(ExprKind::Name, inner->pos);
          name->name = inner->name;
          name->hasArgs = true;
          name->args = std::move(e->args);
          e = std::move(name);
          ResolveName(e);
          return;
        }
        ResolveExpr(e->a);
        e->kind = ExprKind::Index;
        e->pure = e->a->pure;
        ResolveArgs(*e);
        return;
      }
      case ExprKind::Member:
        ResolveExpr(e->a);
        ResolveArgs(*e);
        e->pure = false;
        return;
      case ExprKind::Paren:
        ResolveExpr(e->a);
        e->pure = e->a->pure;
        e->hard = e->a->hard;
        return;
      case ExprKind::Unary:
        ResolveExpr(e->a);
        e->pure = e->a->pure;
        // A negative number literal is a literal: -5, -&H10.
        if (e->op != Op::Not && e->a->kind == ExprKind::Literal && e->a->hard &&
            !e->a->value.IsString()) {
          try {
            Variant value = ops::Unary(e->op, e->a->value);
            ExprPtr literal = MakeNode(ExprKind::Literal, e->pos);
            literal->value = std::move(value);
            literal->hard = true;
            e = std::move(literal);
          } catch (const platform::Error&) {
          }
        }
        return;
      case ExprKind::Binary:
      case ExprKind::Is:
        ResolveExpr(e->a);
        ResolveExpr(e->b);
        e->pure = e->a->pure && e->b->pure;
        return;
      case ExprKind::New: {
        // New RegExp is always the built-in object, whatever class the script calls so.
        std::u16string folded = FoldName(e->name);
        auto it = folded == u"regexp" ? classIndex_.end() : classIndex_.find(folded);
        e->slot = it == classIndex_.end() ? kNoSlot : it->second;
        if (context_ && e->slot == kNoSlot && folded != u"regexp") {
          auto known = context_->names->find(folded);
          if (known != context_->names->end() && known->second.kind == NameBinding::Kind::Class) {
            e->slot = known->second.index;
          }
        }
        e->pure = false;
        return;
      }
      case ExprKind::Unqualified:
        e->pure = false;
        return;
      default:
        return;
    }
  }

  // An assignment target: a variable, an element, an object's property.
  void ResolveTarget(ExprPtr& e) {
    if (e->kind == ExprKind::Name) {
      std::u16string folded = FoldName(e->name);
      bool isResult = proc_ && folded == procName_ &&
                      (proc_->isFunction || proc_->procKind == ProcKind::Sub);
      const Symbol* symbol = isResult ? nullptr : Find(folded);
      if (symbol && symbol->kind == Symbol::Kind::Member) {
        // A property of the running method's object: assigned through the object.
        e = MakeSelfMember(e);
        ResolveArgs(*e);
        return;
      }
      bool variable =
          isResult || (symbol && (symbol->kind == Symbol::Kind::Local ||
                                  symbol->kind == Symbol::Kind::Global ||
                                  symbol->kind == Symbol::Kind::Field));
      bool unknown =
          !isResult && !symbol && FindBuiltin(folded) < 0 && !FindBuiltinConstant(folded);
      if (symbol && symbol->kind == Symbol::Kind::Procedure) {
        // Assigning to a procedure's name compiles; running it raises error 501.
        ResolveName(e);
        return;
      }
      if (!variable && !unknown) FailAt(RuntimeError::IllegalAssignment, e->pos);
      if (isResult && e->hasArgs) FailAt(RuntimeError::IllegalAssignment, e->pos);
      bool hadArgs = e->hasArgs;
      e->hasArgs = false;
      std::vector<ExprPtr> args = std::move(e->args);
      if (isResult) {
        ExprPtr result = MakeNode(ExprKind::Local, e->pos);
        result->name = e->name;
        e = std::move(result);
      } else {
        ResolveName(e);
      }
      if (hadArgs) {
        ExprPtr index = MakeNode(ExprKind::Index, e->pos);
        index->a = std::move(e);
        index->hasArgs = true;
        index->args = std::move(args);
        e = std::move(index);
        ResolveArgs(*e);
      }
      return;
    }
    if (e->kind == ExprKind::Member || e->kind == ExprKind::Apply) {
      ResolveExpr(e);
      return;
    }
    FailAt(RuntimeError::IllegalAssignment, e->pos);
  }

  // A plain variable: a For counter, a ReDim or Erase target, With's hidden variable.
  void ResolveVariable(ExprPtr& e, RuntimeError error, bool* fixedArray = nullptr) {
    if (e->kind != ExprKind::Name || e->hasArgs) FailAt(error, e->pos);
    std::u16string folded = FoldName(e->name);
    if (fixedArray) {
      const Symbol* symbol = Find(folded);
      *fixedArray = symbol && symbol->fixedArray;
    }
    ResolveTarget(e);
    if (e->kind != ExprKind::Local && e->kind != ExprKind::Global && e->kind != ExprKind::Dynamic &&
        e->kind != ExprKind::Field) {
      FailAt(error, e->pos);
    }
  }

  // ------------------------------------------------------------------------------------------
  // Statements

  void ResolveBlock(Block& block) {
    for (StmtPtr& s : block)
      ResolveStatement(*s);
  }

  void ResolveStatement(Stmt& s) {
    switch (s.kind) {
      case StmtKind::Call:
        ResolveExpr(s.value);
        break;
      case StmtKind::Assign:
        ResolveTarget(s.target);
        ResolveExpr(s.value);
        break;
      case StmtKind::If:
      case StmtKind::Select:
        if (s.value) ResolveExpr(s.value);
        for (Branch& branch : s.branches) {
          for (ExprPtr& test : branch.tests)
            ResolveExpr(test);
          ResolveBlock(branch.body);
        }
        ResolveBlock(s.elseBody);
        break;
      case StmtKind::For:
        ResolveVariable(s.target, RuntimeError::InvalidForVariable);
        ResolveExpr(s.from);
        ResolveExpr(s.to);
        if (s.step) ResolveExpr(s.step);
        ResolveBlock(s.body);
        break;
      case StmtKind::ForEach:
        ResolveVariable(s.target, RuntimeError::InvalidForVariable);
        ResolveExpr(s.value);
        ResolveBlock(s.body);
        break;
      case StmtKind::Do:
        if (s.value) ResolveExpr(s.value);
        ResolveBlock(s.body);
        break;
      case StmtKind::ReDim:
        for (ReDimItem& item : s.redims) {
          bool fixed = false;
          ResolveVariable(item.target, RuntimeError::ExpectedIdentifier, &fixed);
          s.fixedArray = s.fixedArray || fixed;
          for (ExprPtr& bound : item.bounds)
            ResolveExpr(bound);
        }
        break;
      case StmtKind::Erase:
        ResolveVariable(s.target, RuntimeError::ExpectedIdentifier, &s.fixedArray);
        break;
      case StmtKind::With:
        ResolveVariable(s.target, RuntimeError::ExpectedIdentifier);
        ResolveExpr(s.value);
        ResolveBlock(s.body);
        break;
      case StmtKind::Exit:
      case StmtKind::OnError:
      case StmtKind::Nop:
        break;
    }
  }

  struct DynamicInfo {
    size_t index;
    bool usedAtTop;
  };

  Program program_;
  Table globals_;
  Table* locals_ = nullptr;
  const ResolveContext* context_ = nullptr;
  Procedure* proc_ = nullptr;
  ClassDef* class_ = nullptr;
  Symbol classSymbol_;
  Symbol contextSymbol_;
  std::unordered_map<std::u16string, uint32_t> contextGlobals_;
  std::unordered_map<std::u16string, uint32_t> classIndex_;
  std::u16string procName_;
  uint32_t* localCount_ = nullptr;
  std::unordered_map<std::u16string, DynamicInfo> dynamicIndex_;
  std::unordered_map<std::u16string, uint32_t> implicitLocals_;
};

}  // namespace

Program Resolve(ParsedScript parsed, const ResolveContext* context) {
  return Resolver(context).Run(std::move(parsed));
}

}  // namespace corvella::script
