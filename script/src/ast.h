#pragma once
// The syntax tree of a script. The parser builds it with names unresolved (ExprKind::Name,
// ExprKind::Apply); the resolver turns every name into a slot, a constant, a procedure or a
// built-in function, so that running the tree looks nothing up by name except object members.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "corvella/platform/variant.h"

namespace corvella::script {

struct Pos {
  uint32_t line = 0;
  uint32_t column = 0;
};

enum class ExprKind : uint8_t {
  Name,         // parser: a name, with an argument list when hasArgs
  Apply,        // parser: an argument list applied to the value of `a`
  Literal,      // value
  Local,        // slot of the running procedure
  Global,       // slot of the script
  Dynamic,      // a name declared nowhere: slot is its global slot (bound to a host object or an
                // implicit global); slot2 is a local slot of the procedure or kNoSlot
  Unary,        // op a
  Binary,       // a op b
  Is,           // a Is b
  Paren,        // (a): its value, never a reference
  CallProc,     // slot: procedure index; args
  CallBuiltin,  // slot: built-in index; args
  Index,        // a(args): an array element, or a call of the default member of an object
  Member,       // a.name, with args when hasArgs
  Me,           // the object whose method is running
  Field,        // slot: a field of the object whose method is running
  ClassCall,    // slot: member of the running method's class, called on the same object; args
  New,          // slot: class index, or kNoSlot for a class the script does not define (name)
  Unqualified,  // ".name" outside With: runtime error 505 when evaluated
};

enum class Op : uint8_t {
  Neg,
  Plus,
  Not,
  Pow,
  Mul,
  Div,
  IntDiv,
  Mod,
  Add,
  Sub,
  Concat,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  And,
  Or,
  Xor,
  Eqv,
  Imp,
};

inline constexpr uint32_t kNoSlot = 0xFFFFFFFFu;
/// Local slots from here on are variables that Execute declared in the running procedure.
inline constexpr uint32_t kExecuteLocalBase = 0x40000000u;

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  ExprKind kind = ExprKind::Literal;
  Op op = Op::Add;
  bool hasArgs = false;  // written with an argument list
  bool pure = true;      // evaluating it calls no procedure and no object member
  bool hard = false;     // a literal or constant: comparisons convert the other side to its type
  uint16_t height = 1;   // of the tree below, for the nesting limit
  Pos pos;
  uint32_t slot = 0;
  uint32_t slot2 = kNoSlot;
  platform::Variant value;  // Literal
  std::u16string name;      // Name, Member, Dynamic (as written)
  ExprPtr a, b;
  std::vector<ExprPtr> args;  // a null entry is an omitted argument
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

enum class StmtKind : uint8_t {
  Call,     // value: the call, in statement form
  Assign,   // target = value (Set when isSet)
  If,       // branches (one test each), elseBody
  For,      // target = from To to [Step step]: body
  ForEach,  // target In value: body
  Do,       // value: condition (may be null), atTop, until: body
  Select,   // value: tested; branches; elseBody when hasElse
  Exit,     // exitKind
  ReDim,    // redims, preserve
  Erase,    // target
  OnError,  // resumeNext
  With,     // target: hidden variable; value: object; body
  Nop,
};

enum class ExitKind : uint8_t { For, Do, Sub, Function, Property };

struct Branch {
  std::vector<ExprPtr> tests;
  Block body;
  Pos pos;
};

struct ReDimItem {
  ExprPtr target;
  std::vector<ExprPtr> bounds;  // upper bounds, first dimension first
  Pos pos;
};

struct Stmt {
  StmtKind kind = StmtKind::Nop;
  Pos pos;
  bool isSet = false;
  bool preserve = false;
  bool resumeNext = false;
  bool atTop = false;
  bool until = false;
  bool hasElse = false;
  bool fixedArray = false;  // ReDim, Erase: the target was declared with fixed bounds
  ExitKind exitKind = ExitKind::For;
  ExprPtr target, value, from, to, step;
  std::vector<Branch> branches;
  Block body, elseBody;
  std::vector<ReDimItem> redims;
};

/// An array that a scope creates on entry (Dim a(3), Dim b()).
struct ArrayInit {
  uint32_t slot = 0;
  std::vector<platform::VariantArray::Bounds> bounds;  // empty: a dynamic array, not dimensioned
  Pos pos;
};

struct Param {
  std::u16string name;
  bool byRef = true;
  uint32_t slot = 0;
  Pos pos;
};

/// What a procedure is: a Sub, a Function, or one of a class's property procedures.
enum class ProcKind : uint8_t { Sub, Function, Get, Let, Set };

/// What a name of the script's global scope stands for, for code compiled while the script runs
/// (Execute, ExecuteGlobal, Eval, GetRef).
struct NameBinding {
  enum class Kind : uint8_t { Variable, Const, Procedure, Class };
  Kind kind = Kind::Variable;
  uint32_t index = 0;  // global slot, procedure or class
  platform::Variant value;  // Const
};
using NameTable = std::unordered_map<std::u16string, NameBinding>;  // by folded name

struct Procedure {
  std::u16string name;
  bool isFunction = false;  // answers a value (a Function or a Property Get)
  ProcKind procKind = ProcKind::Sub;
  uint32_t classIndex = kNoSlot;  // the class it belongs to, or kNoSlot
  bool isPublic = true;
  bool isDefault = false;
  Pos pos;
  std::vector<Param> params;
  Block body;
  uint32_t localCount = 0;  // a Function's result is local slot 0
  std::vector<ArrayInit> arrays;
  std::unordered_map<std::u16string, uint32_t> localNames;  // folded name -> slot, for Execute
};

struct DynamicName {
  std::u16string name;
  uint32_t slot = 0;
};

}  // namespace corvella::script

namespace corvella::script {

/// A member of a class: a field, a method, or the property procedures of one name.
struct ClassMember {
  std::u16string name;
  bool isPublic = true;
  uint32_t field = kNoSlot;   // field index
  uint32_t method = kNoSlot;  // procedure index of a Sub or Function
  uint32_t get = kNoSlot, let = kNoSlot, set = kNoSlot;
};

/// A class that the script defines.
struct ClassDef {
  std::u16string name;
  Pos pos;
  std::vector<ClassMember> members;
  std::unordered_map<std::u16string, uint32_t> index;  // folded name -> member
  uint32_t fieldCount = 0;
  std::vector<ArrayInit> fieldArrays;
  uint32_t defaultMember = kNoSlot;
  uint32_t initialize = kNoSlot, terminate = kNoSlot;  // procedure indices
};

/// A compiled script.
class Program {
 public:
  std::vector<ClassDef> classes;
  Block top;
  std::vector<Procedure> procedures;
  uint32_t globalCount = 0;
  std::vector<ArrayInit> globalArrays;
  std::vector<ArrayInit> executeArrays;  // arrays that Execute declares in a procedure
  std::vector<DynamicName> dynamics;  // names for the host to bind
  NameTable names;  // the global names it declares, for code compiled while it runs
  bool optionExplicit = false;
};

}  // namespace corvella::script
