#include "parser.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

#include "corvella/platform/text.h"

namespace corvella::script {

using platform::RuntimeError;
using platform::Variant;

namespace {

constexpr size_t kNone = std::numeric_limits<size_t>::max();

Pos PosOf(const Token& token) {
  return Pos{token.line, token.column};
}

class Parser {
 public:
  explicit Parser(const Lexed& lexed) : toks_(lexed.tokens), literals_(lexed.literals) {}

  ParsedScript Run() {
    decls_ = &script_.globals;
    while (true) {
      SkipSeparators();
      if (Is(Tok::End)) break;
      if (IsBlockEnd())
        FailHere(Is(Tok::Next) ? RuntimeError::UnexpectedNext : RuntimeError::ExpectedStatement);
      StmtPtr statement = ParseStatement();
      if (statement) script_.top.push_back(std::move(statement));
      EndOfStatement();
    }
    return std::move(script_);
  }

  ParsedScript RunExpression() {
    decls_ = &script_.globals;
    StmtPtr s = MakeStmt(StmtKind::Call, PosOf(Cur()));
    s->value = ParseExpr();
    SkipSeparators();
    if (!Is(Tok::End)) FailHere(RuntimeError::ExpectedEndOfStatement);
    script_.top.push_back(std::move(s));
    return std::move(script_);
  }

 private:
  // ------------------------------------------------------------------------------------------
  // Tokens

  const Token& Cur() const { return toks_[pos_]; }
  bool Is(Tok kind) const { return Cur().kind == kind; }
  void Next() {
    if (pos_ + 1 < toks_.size()) ++pos_;
  }
  bool Accept(Tok kind) {
    if (!Is(kind)) return false;
    Next();
    return true;
  }
  void Expect(Tok kind, RuntimeError error) {
    if (!Accept(kind)) FailHere(error);
  }
  [[noreturn]] void FailHere(RuntimeError error) const { FailAt(error, Cur()); }
  [[noreturn]] static void FailAt(RuntimeError error, const Token& token) {
    throw CompileFailure{error, token.line, token.column, {}};
  }
  [[noreturn]] static void FailAt(RuntimeError error, Pos pos) {
    throw CompileFailure{error, pos.line, pos.column, {}};
  }

  bool IsWord(std::string_view word) const {
    return Is(Tok::Identifier) && platform::EqualsNoCase(Cur().text, word);
  }

  std::u16string ExpectIdentifier() {
    if (!Is(Tok::Identifier)) FailHere(RuntimeError::ExpectedIdentifier);
    std::u16string name(Cur().text);
    Next();
    return name;
  }

  void SkipSeparators() {
    while (Is(Tok::Newline) || Is(Tok::Colon))
      Next();
  }

  bool AtStatementEnd() const {
    return Is(Tok::Newline) || Is(Tok::Colon) || Is(Tok::End) ||
           (singleLine_ > 0 && Is(Tok::Else)) || AtClosingEnd();
  }

  // "End Sub", "End Function", "End Property", "End Class" or "End If" may follow a statement on
  // its line.
  bool AtClosingEnd() const {
    if (!Is(Tok::End_) || pos_ + 1 >= toks_.size()) return false;
    const Token& next = toks_[pos_ + 1];
    if (next.kind == Tok::Sub || next.kind == Tok::Function || next.kind == Tok::If ||
        next.kind == Tok::Class) {
      return true;
    }
    return next.kind == Tok::Identifier && platform::EqualsNoCase(next.text, "property");
  }

  void EndOfStatement() const {
    if (!AtStatementEnd()) FailHere(RuntimeError::ExpectedEndOfStatement);
  }

  bool IsBlockEnd() const {
    switch (Cur().kind) {
      case Tok::End_:
      case Tok::Else:
      case Tok::ElseIf:
      case Tok::Next:
      case Tok::Loop:
      case Tok::Wend:
      case Tok::Case:
      case Tok::End:
        return true;
      default:
        return false;
    }
  }

  // Counts one level of nesting for as long as it lives.
  class Nest {
   public:
    Nest(Parser& parser, const Token& at) : parser_(parser) {
      if (++parser_.depth_ > kMaxNesting) FailAt(RuntimeError::OutOfStackSpace, at);
    }
    ~Nest() { --parser_.depth_; }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;

   private:
    Parser& parser_;
  };

  // ------------------------------------------------------------------------------------------
  // Expression nodes

  static ExprPtr Make(ExprKind kind, Pos pos) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->pos = pos;
    return e;
  }

  // Computes the height of a finished node and enforces the limit.
  static ExprPtr Finish(ExprPtr e) {
    int height = 0;
    if (e->a) height = std::max<int>(height, e->a->height);
    if (e->b) height = std::max<int>(height, e->b->height);
    for (const auto& arg : e->args) {
      if (arg) height = std::max<int>(height, arg->height);
    }
    if (height + 1 > kMaxExpressionHeight) FailAt(RuntimeError::OutOfStackSpace, e->pos);
    e->height = static_cast<uint16_t>(height + 1);
    return e;
  }

  static ExprPtr MakeBinary(Op op, ExprPtr left, ExprPtr right, Pos pos) {
    ExprPtr e = Make(ExprKind::Binary, pos);
    e->op = op;
    e->a = std::move(left);
    e->b = std::move(right);
    return Finish(std::move(e));
  }

  static ExprPtr MakeUnary(Op op, ExprPtr operand, Pos pos) {
    ExprPtr e = Make(ExprKind::Unary, pos);
    e->op = op;
    e->a = std::move(operand);
    return Finish(std::move(e));
  }

  // ------------------------------------------------------------------------------------------
  // Expressions, lowest precedence first

  ExprPtr ParseExpr() { return ParseImp(); }

  template <typename Operand>
  ExprPtr ParseLeftAssoc(Tok token, Op op, Operand operand) {
    ExprPtr left = (this->*operand)();
    while (Is(token)) {
      Pos pos = PosOf(Cur());
      Next();
      ExprPtr right = (this->*operand)();
      left = MakeBinary(op, std::move(left), std::move(right), pos);
    }
    return left;
  }

  ExprPtr ParseImp() { return ParseLeftAssoc(Tok::Imp, Op::Imp, &Parser::ParseEqv); }
  ExprPtr ParseEqv() { return ParseLeftAssoc(Tok::Eqv, Op::Eqv, &Parser::ParseXor); }
  ExprPtr ParseXor() { return ParseLeftAssoc(Tok::Xor, Op::Xor, &Parser::ParseOr); }
  ExprPtr ParseOr() { return ParseLeftAssoc(Tok::Or, Op::Or, &Parser::ParseAnd); }
  ExprPtr ParseAnd() { return ParseLeftAssoc(Tok::And, Op::And, &Parser::ParseNot); }

  ExprPtr ParseNot() {
    if (Is(Tok::Not)) {
      Nest nest(*this, Cur());
      Pos pos = PosOf(Cur());
      Next();
      return MakeUnary(Op::Not, ParseNot(), pos);
    }
    return ParseCompare();
  }

  ExprPtr ParseCompare() {
    ExprPtr left = ParseConcat();
    while (true) {
      Op op;
      switch (Cur().kind) {
        case Tok::Eq:
          op = Op::Eq;
          break;
        case Tok::Ne:
          op = Op::Ne;
          break;
        case Tok::Lt:
          op = Op::Lt;
          break;
        case Tok::Gt:
          op = Op::Gt;
          break;
        case Tok::Le:
          op = Op::Le;
          break;
        case Tok::Ge:
          op = Op::Ge;
          break;
        case Tok::Is: {
          Pos pos = PosOf(Cur());
          Next();
          ExprPtr e = Make(ExprKind::Is, pos);
          e->a = std::move(left);
          e->b = ParseConcat();
          left = Finish(std::move(e));
          continue;
        }
        default:
          return left;
      }
      Pos pos = PosOf(Cur());
      Next();
      left = MakeBinary(op, std::move(left), ParseConcat(), pos);
    }
  }

  ExprPtr ParseConcat() {
    return ParseLeftAssoc(Tok::Ampersand, Op::Concat, &Parser::ParseAdditive);
  }

  ExprPtr ParseAdditive() {
    ExprPtr left = ParseMod();
    while (Is(Tok::Plus) || Is(Tok::Minus)) {
      Op op = Is(Tok::Plus) ? Op::Add : Op::Sub;
      Pos pos = PosOf(Cur());
      Next();
      left = MakeBinary(op, std::move(left), ParseMod(), pos);
    }
    return left;
  }

  ExprPtr ParseMod() { return ParseLeftAssoc(Tok::Mod, Op::Mod, &Parser::ParseIntDiv); }
  ExprPtr ParseIntDiv() {
    return ParseLeftAssoc(Tok::Backslash, Op::IntDiv, &Parser::ParseMultiplicative);
  }

  ExprPtr ParseMultiplicative() {
    ExprPtr left = ParseUnary();
    while (Is(Tok::Star) || Is(Tok::Slash)) {
      Op op = Is(Tok::Star) ? Op::Mul : Op::Div;
      Pos pos = PosOf(Cur());
      Next();
      left = MakeBinary(op, std::move(left), ParseUnary(), pos);
    }
    return left;
  }

  // A sign binds more tightly than "^": -3 ^ 2 is 9, and 2 ^ -1 is 0.5.
  ExprPtr ParseUnary() { return ParsePower(); }

  ExprPtr ParsePower() {
    ExprPtr left = ParseSigned();
    while (Is(Tok::Caret)) {
      Pos pos = PosOf(Cur());
      Next();
      left = MakeBinary(Op::Pow, std::move(left), ParseSigned(), pos);
    }
    return left;
  }

  ExprPtr ParseSigned() {
    if (Is(Tok::Minus) || Is(Tok::Plus)) {
      Nest nest(*this, Cur());
      Op op = Is(Tok::Minus) ? Op::Neg : Op::Plus;
      Pos pos = PosOf(Cur());
      Next();
      return MakeUnary(op, ParseSigned(), pos);
    }
    return ParseChain(kNone, nullptr);
  }

  ExprPtr ParsePrimary() {
    const Token& t = Cur();
    Pos pos = PosOf(t);
    switch (t.kind) {
      case Tok::Literal: {
        ExprPtr e = Make(ExprKind::Literal, pos);
        e->value = literals_[t.literal].value;
        e->hard = true;
        Next();
        return e;
      }
      case Tok::True:
      case Tok::False: {
        ExprPtr e = Make(ExprKind::Literal, pos);
        e->value = Variant::Bool(t.kind == Tok::True);
        Next();
        return e;
      }
      case Tok::Empty: {
        Next();
        return Make(ExprKind::Literal, pos);
      }
      case Tok::Null: {
        ExprPtr e = Make(ExprKind::Literal, pos);
        e->value = Variant::Null();
        Next();
        return e;
      }
      case Tok::Nothing: {
        ExprPtr e = Make(ExprKind::Literal, pos);
        e->value = Variant(platform::ObjectRef());
        Next();
        return e;
      }
      case Tok::LParen: {
        Nest nest(*this, t);
        Next();
        ExprPtr e = Make(ExprKind::Paren, pos);
        e->a = ParseExpr();
        e->hard = e->a->hard;
        Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
        return Finish(std::move(e));
      }
      case Tok::Identifier: {
        ExprPtr e = Make(ExprKind::Name, pos);
        e->name = std::u16string(t.text);
        Next();
        return e;
      }
      case Tok::Dot: {
        // ".Member" inside a With block; outside one, an error when it runs.
        ExprPtr object = Make(withNames_.empty() ? ExprKind::Unqualified : ExprKind::Name, pos);
        if (!withNames_.empty()) object->name = withNames_.back();
        Next();
        return ParseMemberName(std::move(object), pos);
      }
      case Tok::Not: {
        Nest nest(*this, t);
        Next();
        return MakeUnary(Op::Not, ParseNot(), pos);
      }
      case Tok::New: {
        Next();
        ExprPtr e = Make(ExprKind::New, pos);
        e->name = ExpectIdentifier();
        e->pure = false;
        return e;
      }
      case Tok::Me:
        Next();
        return Make(ExprKind::Me, pos);
      default:
        FailHere(RuntimeError::ExpectedExpression);
    }
  }

  ExprPtr ParseMemberName(ExprPtr object, Pos pos) {
    // After a dot every word is a member name, keywords included (Response.End).
    if (!Is(Tok::Identifier) && !Cur().IsKeyword()) FailHere(RuntimeError::ExpectedIdentifier);
    ExprPtr e = Make(ExprKind::Member, pos);
    e->name = std::u16string(Cur().text);
    e->a = std::move(object);
    Next();
    return Finish(std::move(e));
  }

  // A primary followed by ".name" and "(args)" parts, up to (not including) token @p stopAt.
  // @p lastParen receives the token index of the "(" of a final argument list, or kNone.
  ExprPtr ParseChain(size_t stopAt, size_t* lastParen) {
    if (lastParen) *lastParen = kNone;
    ExprPtr e = ParsePrimary();
    while (pos_ != stopAt) {
      // Inside With, " .Name" after a blank starts a new operand: WScript.Echo .Name
      if (Is(Tok::Dot) && Cur().spaceBefore && !withNames_.empty()) break;
      if (Is(Tok::Dot) && e->kind != ExprKind::Literal) {
        Pos pos = PosOf(Cur());
        Next();
        e = ParseMemberName(std::move(e), pos);
        if (lastParen) *lastParen = kNone;
        continue;
      }
      if (Is(Tok::LParen) && e->kind != ExprKind::Literal) {
        size_t at = pos_;
        Pos pos = PosOf(Cur());
        std::vector<ExprPtr> args = ParseParenArgs();
        if ((e->kind == ExprKind::Name || e->kind == ExprKind::Member) && !e->hasArgs) {
          e->hasArgs = true;
          e->args = std::move(args);
          e = Finish(std::move(e));
        } else {
          ExprPtr apply = Make(ExprKind::Apply, pos);
          apply->a = std::move(e);
          apply->hasArgs = true;
          apply->args = std::move(args);
          e = Finish(std::move(apply));
        }
        if (lastParen) *lastParen = at;
        continue;
      }
      break;
    }
    return e;
  }

  std::vector<ExprPtr> ParseParenArgs() {
    Nest nest(*this, Cur());
    Expect(Tok::LParen, RuntimeError::ExpectedLeftParen);
    std::vector<ExprPtr> args;
    if (Accept(Tok::RParen)) return args;
    while (true) {
      if (Is(Tok::Comma) || Is(Tok::RParen)) {
        args.push_back(nullptr);
      } else {
        args.push_back(ParseExpr());
      }
      if (Accept(Tok::Comma)) continue;
      Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
      return args;
    }
  }

  // Arguments of a call statement written without parentheses.
  std::vector<ExprPtr> ParseBareArgs() {
    std::vector<ExprPtr> args;
    while (true) {
      if (Is(Tok::Comma)) {
        args.push_back(nullptr);
      } else if (AtStatementEnd()) {
        args.push_back(nullptr);  // a trailing comma leaves the last argument out
        return args;
      } else {
        args.push_back(ParseExpr());
      }
      if (!Accept(Tok::Comma)) return args;
    }
  }

  // ------------------------------------------------------------------------------------------
  // Statements

  StmtPtr MakeStmt(StmtKind kind, Pos pos) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->pos = pos;
    return s;
  }

  void ParseBlock(Block& out) {
    Nest nest(*this, Cur());
    int savedSingleLine = std::exchange(singleLine_, 0);
    ++blockDepth_;
    while (true) {
      SkipSeparators();
      if (IsBlockEnd()) break;
      StmtPtr statement = ParseStatement();
      if (statement) out.push_back(std::move(statement));
      EndOfStatement();
    }
    --blockDepth_;
    singleLine_ = savedSingleLine;
  }

  // The statements of a single-line If, up to the end of the line or its Else.
  void ParseLineBlock(Block& out) {
    Nest nest(*this, Cur());
    ++singleLine_;
    ++blockDepth_;
    while (!Is(Tok::Newline) && !Is(Tok::End) && !Is(Tok::Else) && !AtClosingEnd()) {
      if (Accept(Tok::Colon)) continue;
      StmtPtr statement = ParseStatement();
      if (statement) out.push_back(std::move(statement));
      EndOfStatement();
    }
    --blockDepth_;
    --singleLine_;
  }

  StmtPtr ParseStatement() {
    const Token& t = Cur();
    Pos pos = PosOf(t);
    switch (t.kind) {
      case Tok::Dim:
        Next();
        ParseDimList();
        return nullptr;
      case Tok::Public:
      case Tok::Private:
        Next();
        if (Is(Tok::Sub) || Is(Tok::Function)) {
          ParseProcedure(kNoSlot, t.kind == Tok::Public, false);
        } else if (Accept(Tok::Const)) {
          ParseConstList();
        } else {
          if (inProcedure_) FailAt(RuntimeError::SyntaxError, t);
          ParseDimList();
        }
        return nullptr;
      case Tok::Const:
        Next();
        ParseConstList();
        return nullptr;
      case Tok::Sub:
      case Tok::Function:
        ParseProcedure(kNoSlot, true, false);
        return nullptr;
      case Tok::Class:
        ParseClass();
        return nullptr;
      case Tok::ReDim:
        return ParseReDim();
      case Tok::Erase: {
        Next();
        StmtPtr s = MakeStmt(StmtKind::Erase, pos);
        ExprPtr target = Make(ExprKind::Name, PosOf(Cur()));
        target->name = ExpectIdentifier();
        s->target = std::move(target);
        return s;
      }
      case Tok::Set:
        Next();
        return ParseAssignOrCall(pos, true, false);
      case Tok::Let:
        Next();
        return ParseAssignOrCall(pos, false, false, true);
      case Tok::Call:
        Next();
        return ParseAssignOrCall(pos, false, true);
      case Tok::If:
        return ParseIf();
      case Tok::For:
        return ParseFor();
      case Tok::Do:
        return ParseDo();
      case Tok::While:
        return ParseWhile();
      case Tok::Select:
        return ParseSelect();
      case Tok::With:
        return ParseWith();
      case Tok::Exit:
        return ParseExit();
      case Tok::On:
        return ParseOnError();
      case Tok::Option:
        Next();
        if (!IsWord("explicit")) FailHere(RuntimeError::SyntaxError);
        if (inProcedure_ || blockDepth_ > 0) FailAt(RuntimeError::SyntaxError, t);
        Next();
        script_.optionExplicit = true;
        return nullptr;
      case Tok::Stop:
        Next();
        return nullptr;
      case Tok::Identifier:
        if (IsWord("property") && pos_ + 1 < toks_.size() &&
            (toks_[pos_ + 1].kind == Tok::Let || toks_[pos_ + 1].kind == Tok::Set ||
             platform::EqualsNoCase(toks_[pos_ + 1].text, "get"))) {
          FailHere(RuntimeError::MustBeInsideClass);
        }
        return ParseAssignOrCall(pos, false, false);
      case Tok::Dot:
        return ParseAssignOrCall(pos, false, false);
      case Tok::Me:
        return ParseAssignOrCall(pos, false, false);
      default:
        FailHere(RuntimeError::ExpectedStatement);
    }
  }

  // An assignment (x = 1, Set o = p, a(1) = 2, o.P = 3) or a call (F, F 1, 2, o.M 1, Call F(1)).
  StmtPtr ParseAssignOrCall(Pos pos, bool isSet, bool isCall, bool isLet = false) {
    if (!Is(Tok::Identifier) && !Is(Tok::Dot) && !Is(Tok::Me) && !(isCall && Is(Tok::LParen))) {
      FailHere(RuntimeError::ExpectedIdentifier);
    }
    size_t start = pos_;
    size_t lastParen = kNone;
    ExprPtr chain = ParseChain(kNone, &lastParen);
    if (Is(Tok::Eq)) {
      if (isCall) FailHere(RuntimeError::ExpectedEndOfStatement);
      if (chain->kind == ExprKind::Paren) FailAt(RuntimeError::ExpectedStatement, pos);
      Next();
      StmtPtr s = MakeStmt(StmtKind::Assign, pos);
      s->isSet = isSet;
      s->target = std::move(chain);
      s->value = ParseExpr();
      return s;
    }
    if (isSet || isLet) FailHere(RuntimeError::ExpectedEquals);
    StmtPtr s = MakeStmt(StmtKind::Call, pos);
    if (AtStatementEnd()) {
      if (!isCall && lastParen != kNone) {
        // F(x) as a statement: the parentheses belong to the one argument, which is passed by
        // value; with more arguments it is an error.
        std::vector<ExprPtr>& args = chain->args;
        if (args.size() > 1) FailAt(RuntimeError::ParenthesesOnSubCall, toks_[lastParen]);
        if (args.size() == 1 && args[0]) {
          ExprPtr paren = Make(ExprKind::Paren, args[0]->pos);
          paren->a = std::move(args[0]);
          args[0] = Finish(std::move(paren));
        }
      }
      s->value = std::move(chain);
      return s;
    }
    if (isCall) FailHere(RuntimeError::ExpectedEndOfStatement);
    if (lastParen != kNone) {
      // F (1) + 2, 3: what looked like an argument list starts the first argument.
      pos_ = start;
      chain = ParseChain(lastParen, nullptr);
    }
    std::vector<ExprPtr> args = ParseBareArgs();
    if ((chain->kind == ExprKind::Name || chain->kind == ExprKind::Member) && !chain->hasArgs) {
      chain->hasArgs = true;
      chain->args = std::move(args);
      s->value = Finish(std::move(chain));
    } else {
      ExprPtr apply = Make(ExprKind::Apply, chain->pos);
      apply->a = std::move(chain);
      apply->hasArgs = true;
      apply->args = std::move(args);
      s->value = Finish(std::move(apply));
    }
    return s;
  }

  void ParseDimList() {
    do {
      Decl decl;
      decl.pos = PosOf(Cur());
      decl.name = ExpectIdentifier();
      if (Accept(Tok::LParen)) {
        if (Accept(Tok::RParen)) {
          decl.kind = DeclKind::DynamicArray;
        } else {
          decl.kind = DeclKind::FixedArray;
          do {
            decl.bounds.push_back(ParseExpr());
          } while (Accept(Tok::Comma));
          Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
        }
      }
      decls_->push_back(std::move(decl));
    } while (Accept(Tok::Comma));
  }

  void ParseConstList() {
    do {
      Decl decl;
      decl.kind = DeclKind::Const;
      decl.pos = PosOf(Cur());
      decl.name = ExpectIdentifier();
      Expect(Tok::Eq, RuntimeError::ExpectedEquals);
      decl.value = ParseExpr();
      decls_->push_back(std::move(decl));
    } while (Accept(Tok::Comma));
  }

  StmtPtr ParseReDim() {
    StmtPtr s = MakeStmt(StmtKind::ReDim, PosOf(Cur()));
    Next();
    s->preserve = Accept(Tok::Preserve);
    do {
      ReDimItem item;
      item.pos = PosOf(Cur());
      ExprPtr target = Make(ExprKind::Name, item.pos);
      target->name = ExpectIdentifier();
      Expect(Tok::LParen, RuntimeError::ExpectedLeftParen);
      do {
        item.bounds.push_back(ParseExpr());
      } while (Accept(Tok::Comma));
      Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
      Decl decl;
      decl.kind = DeclKind::ReDim;
      decl.name = target->name;
      decl.pos = item.pos;
      decls_->push_back(std::move(decl));
      item.target = std::move(target);
      s->redims.push_back(std::move(item));
    } while (Accept(Tok::Comma));
    return s;
  }

  // Sub, Function, or (in a class) Property Get/Let/Set, from its keyword to its End.
  void ParseProcedure(uint32_t classIndex, bool isPublic, bool isDefault) {
    const Token& start = Cur();
    // A procedure may stand inside a block of the top level (If ... End If), never in another.
    if (inProcedure_) FailAt(RuntimeError::SyntaxError, start);
    ParsedProcedure parsed;
    Procedure& proc = parsed.procedure;
    proc.pos = PosOf(start);
    proc.classIndex = classIndex;
    proc.isPublic = isPublic;
    proc.isDefault = isDefault;
    Tok closing = Cur().kind;
    if (IsWord("property")) {
      if (classIndex == kNoSlot) FailHere(RuntimeError::MustBeInsideClass);
      Next();
      if (Is(Tok::Let)) {
        proc.procKind = ProcKind::Let;
      } else if (Is(Tok::Set)) {
        proc.procKind = ProcKind::Set;
      } else if (IsWord("get")) {
        proc.procKind = ProcKind::Get;
      } else {
        FailHere(RuntimeError::ExpectedPropertyKind);
      }
      closing = Tok::Identifier;
    } else {
      proc.procKind = Is(Tok::Function) ? ProcKind::Function : ProcKind::Sub;
    }
    proc.isFunction = proc.procKind == ProcKind::Function || proc.procKind == ProcKind::Get;
    if (isDefault && proc.procKind != ProcKind::Function && proc.procKind != ProcKind::Get &&
        proc.procKind != ProcKind::Sub) {
      FailHere(RuntimeError::SyntaxError);
    }
    Next();
    proc.name = ExpectIdentifier();
    if (Accept(Tok::LParen)) {
      if (!Accept(Tok::RParen)) {
        do {
          Param param;
          if (Accept(Tok::ByVal)) {
            param.byRef = false;
          } else {
            Accept(Tok::ByRef);
          }
          param.pos = PosOf(Cur());
          param.name = ExpectIdentifier();
          if (Accept(Tok::LParen)) Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
          proc.params.push_back(std::move(param));
        } while (Accept(Tok::Comma));
        Expect(Tok::RParen, RuntimeError::ExpectedRightParen);
      }
    }
    if ((proc.procKind == ProcKind::Let || proc.procKind == ProcKind::Set) && proc.params.empty()) {
      FailAt(RuntimeError::PropertyNeedsArgument, proc.pos);
    }
    // The body may start on the header's own line: Sub S() x = 1 End Sub
    std::vector<Decl>* savedDecls = std::exchange(decls_, &parsed.decls);
    inProcedure_ = true;
    procKind_ = proc.procKind;
    int savedFor = std::exchange(forDepth_, 0), savedDo = std::exchange(doDepth_, 0);
    ParseBlock(proc.body);
    forDepth_ = savedFor;
    doDepth_ = savedDo;
    if (!Is(Tok::End_)) FailHere(RuntimeError::ExpectedEnd);
    Next();
    if (closing == Tok::Identifier) {
      if (!IsWord("property")) FailHere(RuntimeError::ExpectedProperty);
      Next();
    } else {
      Expect(closing, closing == Tok::Function ? RuntimeError::ExpectedFunction
                                               : RuntimeError::ExpectedSub);
    }
    inProcedure_ = false;
    decls_ = savedDecls;
    script_.procedures.push_back(std::move(parsed));
  }

  // Class NAME, its fields and procedures, End Class.
  void ParseClass() {
    const Token& start = Cur();
    if (inProcedure_ || inClass_ || blockDepth_ > 0) FailAt(RuntimeError::SyntaxError, start);
    Next();
    ParsedClass cls;
    cls.pos = PosOf(start);
    cls.name = ExpectIdentifier();
    EndOfStatement();
    auto classIndex = static_cast<uint32_t>(script_.classes.size());
    std::vector<Decl>* savedDecls = std::exchange(decls_, &cls.fields);
    inClass_ = true;
    while (true) {
      SkipSeparators();
      if (Accept(Tok::End_)) {
        Expect(Tok::Class, RuntimeError::ExpectedClass);
        break;
      }
      bool isPublic = true, isDefault = false, modifier = false;
      if (Is(Tok::Public) || Is(Tok::Private)) {
        isPublic = Is(Tok::Public);
        modifier = true;
        Next();
        if (IsWord("default")) {
          if (!isPublic) FailHere(RuntimeError::DefaultNeedsPublic);
          isDefault = true;
          Next();
        }
      } else if (Accept(Tok::Dim)) {
        ParseDimList();
        EndOfStatement();
        continue;
      }
      if (Is(Tok::Sub) || Is(Tok::Function) || IsWord("property")) {
        ParseProcedure(classIndex, isPublic, isDefault);
      } else if (modifier && !isDefault && Is(Tok::Identifier)) {
        size_t first = decls_->size();
        ParseDimList();
        for (size_t i = first; i < decls_->size(); ++i)
          (*decls_)[i].isPublic = isPublic;
      } else if (Is(Tok::End)) {
        FailHere(RuntimeError::ExpectedEnd);
      } else {
        FailHere(RuntimeError::ExpectedStatement);
      }
      EndOfStatement();
    }
    inClass_ = false;
    decls_ = savedDecls;
    script_.classes.push_back(std::move(cls));
  }

  StmtPtr ParseIf() {
    StmtPtr s = MakeStmt(StmtKind::If, PosOf(Cur()));
    Next();
    Branch first;
    first.pos = s->pos;
    first.tests.push_back(ParseExpr());
    Expect(Tok::Then, RuntimeError::ExpectedThen);
    if (!Is(Tok::Newline) && !Is(Tok::End)) {
      // Single-line form: If c Then a: b Else c: d
      ParseLineBlock(first.body);
      s->branches.push_back(std::move(first));
      if (Accept(Tok::Else)) {
        s->hasElse = true;
        ParseLineBlock(s->elseBody);
      }
      // The single-line form may be closed with End If on the same line.
      if (Is(Tok::End_) && pos_ + 1 < toks_.size() && toks_[pos_ + 1].kind == Tok::If) {
        Next();
        Next();
      }
      return s;
    }
    ParseBlock(first.body);
    s->branches.push_back(std::move(first));
    while (Is(Tok::ElseIf)) {
      Branch branch;
      branch.pos = PosOf(Cur());
      Next();
      branch.tests.push_back(ParseExpr());
      Expect(Tok::Then, RuntimeError::ExpectedThen);
      ParseBlock(branch.body);
      s->branches.push_back(std::move(branch));
    }
    if (Accept(Tok::Else)) {
      s->hasElse = true;
      ParseBlock(s->elseBody);
    }
    if (!Is(Tok::End_)) FailHere(RuntimeError::ExpectedEnd);
    Next();
    Expect(Tok::If, RuntimeError::ExpectedIf);
    return s;
  }

  ExprPtr ParseControlVariable() {
    ExprPtr target = Make(ExprKind::Name, PosOf(Cur()));
    if (!Is(Tok::Identifier)) FailHere(RuntimeError::InvalidForVariable);
    target->name = std::u16string(Cur().text);
    Next();
    return target;
  }

  StmtPtr ParseFor() {
    Pos pos = PosOf(Cur());
    Next();
    if (Accept(Tok::Each)) {
      StmtPtr s = MakeStmt(StmtKind::ForEach, pos);
      s->target = ParseControlVariable();
      Expect(Tok::In, RuntimeError::ExpectedIn);
      s->value = ParseExpr();
      EndOfStatement();
      ParseLoopBody(*s, forDepth_);
      return s;
    }
    StmtPtr s = MakeStmt(StmtKind::For, pos);
    s->target = ParseControlVariable();
    Expect(Tok::Eq, RuntimeError::ExpectedEquals);
    s->from = ParseExpr();
    Expect(Tok::To, RuntimeError::ExpectedTo);
    s->to = ParseExpr();
    if (IsWord("step")) {
      Next();
      s->step = ParseExpr();
    }
    EndOfStatement();
    ParseLoopBody(*s, forDepth_);
    return s;
  }

  void ParseLoopBody(Stmt& s, int& depth) {
    ++depth;
    ParseBlock(s.body);
    --depth;
    if (!Is(Tok::Next)) FailHere(RuntimeError::ExpectedNext);
    Next();
    if (Is(Tok::Identifier)) Next();
  }

  StmtPtr ParseDo() {
    StmtPtr s = MakeStmt(StmtKind::Do, PosOf(Cur()));
    Next();
    if (Is(Tok::While) || Is(Tok::Until)) {
      s->atTop = true;
      s->until = Is(Tok::Until);
      Next();
      s->value = ParseExpr();
    }
    if (!AtStatementEnd()) FailHere(RuntimeError::ExpectedWhileUntilOrEnd);
    ++doDepth_;
    ParseBlock(s->body);
    --doDepth_;
    if (!Is(Tok::Loop)) FailHere(RuntimeError::ExpectedLoop);
    Next();
    if (Is(Tok::While) || Is(Tok::Until)) {
      if (s->atTop) FailHere(RuntimeError::ExpectedEndOfStatement);
      s->until = Is(Tok::Until);
      Next();
      s->value = ParseExpr();
    } else if (!AtStatementEnd()) {
      FailHere(RuntimeError::ExpectedWhileUntilOrEnd);
    }
    return s;
  }

  StmtPtr ParseWhile() {
    StmtPtr s = MakeStmt(StmtKind::Do, PosOf(Cur()));
    Next();
    s->atTop = true;
    s->value = ParseExpr();
    EndOfStatement();
    // Exit Do does not leave a While loop.
    int savedDo = std::exchange(doDepth_, 0);
    ParseBlock(s->body);
    doDepth_ = savedDo;
    if (!Is(Tok::Wend)) FailHere(RuntimeError::ExpectedWend);
    Next();
    return s;
  }

  StmtPtr ParseSelect() {
    StmtPtr s = MakeStmt(StmtKind::Select, PosOf(Cur()));
    Next();
    Expect(Tok::Case, RuntimeError::ExpectedCase);
    s->value = ParseExpr();
    EndOfStatement();
    Nest nest(*this, Cur());
    while (true) {
      SkipSeparators();
      if (Is(Tok::Case)) {
        Pos pos = PosOf(Cur());
        Next();
        if (s->hasElse) FailAt(RuntimeError::ExpectedEnd, pos);
        if (Accept(Tok::Else)) {
          s->hasElse = true;
          ParseBlock(s->elseBody);
          continue;
        }
        Branch branch;
        branch.pos = pos;
        do {
          branch.tests.push_back(ParseExpr());
        } while (Accept(Tok::Comma));
        ParseBlock(branch.body);
        s->branches.push_back(std::move(branch));
        continue;
      }
      if (!Is(Tok::End_)) FailHere(RuntimeError::ExpectedCase);
      Next();
      Expect(Tok::Select, RuntimeError::ExpectedSelect);
      return s;
    }
  }

  StmtPtr ParseWith() {
    StmtPtr s = MakeStmt(StmtKind::With, PosOf(Cur()));
    Next();
    s->value = ParseExpr();
    EndOfStatement();
    Decl decl;
    decl.name = WithVariableName(withCount_++);
    decl.pos = s->pos;
    ExprPtr target = Make(ExprKind::Name, s->pos);
    target->name = decl.name;
    s->target = std::move(target);
    withNames_.push_back(decl.name);
    decls_->push_back(std::move(decl));
    ParseBlock(s->body);
    withNames_.pop_back();
    if (!Is(Tok::End_)) FailHere(RuntimeError::ExpectedEnd);
    Next();
    Expect(Tok::With, RuntimeError::ExpectedWith);
    return s;
  }

  StmtPtr ParseExit() {
    StmtPtr s = MakeStmt(StmtKind::Exit, PosOf(Cur()));
    Next();
    bool valid = false;
    switch (Cur().kind) {
      case Tok::For:
        s->exitKind = ExitKind::For;
        valid = forDepth_ > 0;
        break;
      case Tok::Do:
        s->exitKind = ExitKind::Do;
        valid = doDepth_ > 0;
        break;
      case Tok::Sub:
        s->exitKind = ExitKind::Sub;
        valid = inProcedure_ && procKind_ == ProcKind::Sub;
        break;
      case Tok::Function:
        s->exitKind = ExitKind::Function;
        valid = inProcedure_ && procKind_ == ProcKind::Function;
        break;
      default:
        if (!IsWord("property")) FailHere(RuntimeError::InvalidExit);
        s->exitKind = ExitKind::Property;
        valid = inProcedure_ && procKind_ != ProcKind::Sub && procKind_ != ProcKind::Function;
    }
    if (!valid) FailAt(RuntimeError::InvalidExit, s->pos);
    Next();
    return s;
  }

  StmtPtr ParseOnError() {
    StmtPtr s = MakeStmt(StmtKind::OnError, PosOf(Cur()));
    Next();
    if (!IsWord("error")) FailHere(RuntimeError::SyntaxError);
    Next();
    if (Accept(Tok::Resume)) {
      Expect(Tok::Next, RuntimeError::SyntaxError);
      s->resumeNext = true;
      return s;
    }
    Expect(Tok::GoTo, RuntimeError::SyntaxError);
    const Token& zero = Cur();
    if (zero.kind != Tok::Literal || zero.text != u"0") FailHere(RuntimeError::SyntaxError);
    Next();
    return s;
  }

  const std::vector<Token>& toks_;
  const std::vector<LiteralValue>& literals_;
  size_t pos_ = 0;
  ParsedScript script_;
  std::vector<Decl>* decls_ = nullptr;
  std::vector<std::u16string> withNames_;
  uint32_t withCount_ = 0;
  bool inProcedure_ = false;
  bool inClass_ = false;
  ProcKind procKind_ = ProcKind::Sub;
  int forDepth_ = 0;
  int doDepth_ = 0;
  int depth_ = 0;
  int blockDepth_ = 0;
  int singleLine_ = 0;
};

}  // namespace

ParsedScript Parse(const Lexed& lexed) {
  return Parser(lexed).Run();
}

ParsedScript ParseExpression(const Lexed& lexed) {
  return Parser(lexed).RunExpression();
}

std::u16string WithVariableName(uint32_t index) {
  std::u16string name = u"\u0001with";
  std::string digits = std::to_string(index);
  name.append(digits.begin(), digits.end());
  return name;
}

}  // namespace corvella::script
