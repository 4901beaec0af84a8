// The parser and the resolver on their own: the tree that a line becomes, and what each name
// resolves to (variable slots, class fields and members, procedures, built-ins, the names of a
// running script seen by code compiled later).

#include <gtest/gtest.h>

#include "lexer.h"
#include "parser.h"
#include "resolver.h"

namespace corvella::script {
namespace {

Program Compiled(std::u16string_view source, const ResolveContext* context = nullptr) {
  return Resolve(Parse(Tokenize(source)), context);
}

// The value of the first statement: "x = <expression>" or a call.
const Expr& FirstValue(const Program& program) {
  return *program.top.front()->value;
}

TEST(ParserResolver, OperatorsBindAsTheLanguageSays) {
  Program program = Compiled(u"x = -a ^ 2 * 3 => b");
  const Expr& ge = FirstValue(program);
  ASSERT_EQ(ge.kind, ExprKind::Binary);
  EXPECT_EQ(ge.op, Op::Ge);
  const Expr& mul = *ge.a;
  EXPECT_EQ(mul.op, Op::Mul);
  const Expr& pow = *mul.a;
  EXPECT_EQ(pow.op, Op::Pow);
  EXPECT_EQ(pow.a->kind, ExprKind::Unary);  // the sign binds before ^
  EXPECT_EQ(pow.a->op, Op::Neg);
}

TEST(ParserResolver, NamesInsideAClassMethod) {
  Program program = Compiled(
      u"Class C\n Private f\n Sub M(p) : f = p : Helper : x = Me.f : End Sub\n"
      u" Private Sub Helper : End Sub\nEnd Class\nSet o = New C");
  ASSERT_EQ(program.classes.size(), 1u);
  const ClassDef& c = program.classes[0];
  EXPECT_EQ(c.fieldCount, 1u);
  EXPECT_EQ(c.members.size(), 3u);
  const Procedure& m = program.procedures[0];
  ASSERT_EQ(m.body.size(), 3u);
  EXPECT_EQ(m.body[0]->target->kind, ExprKind::Field);      // f
  EXPECT_EQ(m.body[0]->value->kind, ExprKind::Local);       // p
  EXPECT_EQ(m.body[1]->value->kind, ExprKind::ClassCall);   // Helper
  EXPECT_EQ(m.body[2]->value->a->kind, ExprKind::Me);       // Me.f
  EXPECT_EQ(m.body[2]->target->kind, ExprKind::Dynamic);    // x: declared nowhere
  EXPECT_EQ(FirstValue(program).kind, ExprKind::New);
  EXPECT_EQ(FirstValue(program).slot, 0u);
}

TEST(ParserResolver, CodeCompiledLaterSeesTheRunningScope) {
  Program main = Compiled(u"Dim g\nConst K = 5\nSub S(a)\n Dim b\nEnd Sub\nFunction F : End Function");
  ResolveContext context;
  context.names = &main.names;
  context.procedure = &main.procedures[0];
  context.globalBase = main.globalCount;
  context.procedureBase = static_cast<uint32_t>(main.procedures.size());
  Program snippet = Compiled(u"b = a + g + K + F + fresh", &context);
  const Stmt& s = *snippet.top.front();
  EXPECT_EQ(s.target->kind, ExprKind::Local);  // the procedure's own variable
  const Expr* sum = s.value.get();
  EXPECT_EQ(sum->b->kind, ExprKind::Global);           // fresh: a new global after the script's
  EXPECT_EQ(sum->b->slot, main.globalCount);
  EXPECT_EQ(sum->a->b->kind, ExprKind::CallProc);      // F
  EXPECT_EQ(sum->a->a->b->kind, ExprKind::Literal);    // K
  EXPECT_EQ(sum->a->a->a->b->kind, ExprKind::Global);  // g
  EXPECT_EQ(sum->a->a->a->a->kind, ExprKind::Local);   // a
  EXPECT_EQ(snippet.names.count(u"fresh"), 1u);
}

TEST(ParserResolver, RefusesWhatDoesNotCompile) {
  for (const char16_t* bad : {u"Class C\nSub A\nEnd Sub\nDim a\nEnd Class",
                              u"Const K = 1\nK = 2", u"x = (1"}) {
    EXPECT_THROW(Compiled(bad), CompileFailure);
  }
}

}  // namespace
}  // namespace corvella::script
