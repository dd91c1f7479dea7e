// The tokenizer's classification of tokens by their context, bracket partners,
// literal joining and function definitions.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/context.h"
#include "engine/token.h"
#include "engine/value.h"
#include "front/tokenizer.h"
#include "test_host.h"

namespace kel {
namespace {

class TokenizerTest : public ::testing::Test {
 protected:
  TokenizerTest() : context_(&host_) {}

  // The significant codes of [function] after loading [code], from the token
  // after its opening brace to the one before its closing brace.
  std::vector<std::uint16_t> Codes(const std::string& code, const char* function = ":Global Initialization:") {
    std::string text = code;
    EXPECT_TRUE(Tokenize(context_, text, false)) << host_.errors;
    std::vector<std::uint16_t> codes;
    FunctionRecord* record = context_.functions->Find(function);
    if (record == nullptr) return codes;
    for (Token* at = NextSignificant(record->body); at != nullptr && at != record->body->partner;
         at = NextSignificant(at)) {
      codes.push_back(at->code);
    }
    return codes;
  }

  Token* Body(const char* function = ":Global Initialization:") {
    return context_.functions->Find(function)->body;
  }

  TestHost host_;
  Context context_;
};

using CodeList = std::vector<std::uint16_t>;

TEST_F(TokenizerTest, MinusIsInfixAfterAnOperandAndUnaryElsewhere) {
  // a - b - - c: two infix minus signs, then a unary one.
  EXPECT_EQ(Codes("a - b - - c;"),
            (CodeList{TOK_NAME, TOK_SUB, TOK_NAME, TOK_SUB, TOK_NEG, TOK_NAME, TOK_SEMI}));
  EXPECT_EQ(Codes("x = -1 + +2;"),
            (CodeList{TOK_NAME, TOK_ASSIGN, TOK_NEG, TOK_VALUE, TOK_ADD, TOK_PLUS, TOK_VALUE, TOK_SEMI}));
  EXPECT_EQ(Codes("x = (a) - a[1] - f() - s.m;"),
            (CodeList{TOK_NAME, TOK_ASSIGN, TOK_GROUP_OPEN, TOK_NAME, TOK_GROUP_CLOSE, TOK_SUB, TOK_NAME,
                   TOK_INDEX_OPEN, TOK_VALUE, TOK_INDEX_CLOSE, TOK_SUB, TOK_CALL_OPEN, TOK_CALL_CLOSE,
                   TOK_SUB, TOK_NAME, TOK_MEMBER, TOK_SEMI}));
}

TEST_F(TokenizerTest, OperatorsTakeTheirAssignmentForms) {
  EXPECT_EQ(Codes("a <<= b >>= c != d <= e >= f += g -= h;"),
            (CodeList{TOK_NAME, TOK_SHL_ASSIGN, TOK_NAME, TOK_SHR_ASSIGN, TOK_NAME, TOK_NE, TOK_NAME, TOK_LE,
                   TOK_NAME, TOK_GE, TOK_NAME, TOK_ADD_ASSIGN, TOK_NAME, TOK_SUB_ASSIGN, TOK_NAME, TOK_SEMI}));
  // "&&=" is "&&" followed by "="; "===" is "==" followed by "=".
  EXPECT_EQ(Codes("a &&= b === c ++ --;"),
            (CodeList{TOK_NAME, TOK_ANDAND, TOK_ASSIGN, TOK_NAME, TOK_EQ, TOK_ASSIGN, TOK_NAME, TOK_INC, TOK_DEC,
                   TOK_SEMI}));
}

TEST_F(TokenizerTest, ParenthesisAfterANameIsACall) {
  // The name token itself becomes the call's "(" and keeps the name.
  CodeList codes = Codes("f (1, 2); (3, 4);");
  EXPECT_EQ(codes, (CodeList{TOK_CALL_OPEN, TOK_VALUE, TOK_ARG_COMMA, TOK_VALUE, TOK_CALL_CLOSE, TOK_SEMI,
                          TOK_GROUP_OPEN, TOK_VALUE, TOK_COMMA, TOK_VALUE, TOK_GROUP_CLOSE, TOK_SEMI}));
  Token* call = NextSignificant(Body());
  EXPECT_STREQ(call->data.text, "f");
}

TEST_F(TokenizerTest, OnlyTheCallsOwnCommasBecomeArgumentCommas) {
  EXPECT_EQ(Codes("f(g(1, 2), (3, 4), a[5, 6]);"),
            (CodeList{TOK_CALL_OPEN, TOK_CALL_OPEN, TOK_VALUE, TOK_ARG_COMMA, TOK_VALUE, TOK_CALL_CLOSE,
                   TOK_ARG_COMMA, TOK_GROUP_OPEN, TOK_VALUE, TOK_COMMA, TOK_VALUE, TOK_GROUP_CLOSE,
                   TOK_ARG_COMMA, TOK_NAME, TOK_INDEX_OPEN, TOK_VALUE, TOK_COMMA, TOK_VALUE, TOK_INDEX_CLOSE,
                   TOK_CALL_CLOSE, TOK_SEMI}));
}

TEST_F(TokenizerTest, ColonsOfLabelsCasesAndConditionals) {
  EXPECT_EQ(Codes("top: switch (x) { case 1: default: y = x ? 2 : 3; }"),
            (CodeList{TOK_LABEL, TOK_SWITCH, TOK_GROUP_OPEN, TOK_NAME, TOK_GROUP_CLOSE, TOK_BLOCK_OPEN, TOK_CASE,
                   TOK_VALUE, TOK_CASE_COLON, TOK_DEFAULT, TOK_CASE_COLON, TOK_NAME, TOK_ASSIGN, TOK_NAME,
                   TOK_QUESTION, TOK_VALUE, TOK_COND_COLON, TOK_VALUE, TOK_SEMI, TOK_BLOCK_CLOSE}));
}

TEST_F(TokenizerTest, PartnersLinkBothWays) {
  CodeList codes = Codes("x = a ? (b[1]) : {2};");
  ASSERT_FALSE(codes.empty());
  Token* first = Body();
  for (Token* at = first; at != nullptr; at = at->next) {
    if (at->partner != nullptr) {
      EXPECT_EQ(at->partner->partner, at);
    }
    if (at->code == TOK_QUESTION) {
      EXPECT_EQ(at->partner->code, TOK_COND_COLON);
    }
    if (at->code == TOK_INDEX_OPEN) {
      EXPECT_EQ(at->partner->code, TOK_INDEX_CLOSE);
    }
    if (at->code == TOK_GROUP_OPEN) {
      EXPECT_EQ(at->partner->code, TOK_GROUP_CLOSE);
    }
  }
  // The program's wrapping braces are partners too.
  EXPECT_EQ(first->partner->code, TOK_BLOCK_CLOSE);
}

TEST_F(TokenizerTest, KeywordsInAnyCaseAndMemberAndGotoNames) {
  EXPECT_EQ(Codes("IF (x) GoTo end; else s.Name = 1; end: ;"),
            (CodeList{TOK_IF, TOK_GROUP_OPEN, TOK_NAME, TOK_GROUP_CLOSE, TOK_GOTO, TOK_SEMI, TOK_ELSE, TOK_NAME,
                   TOK_MEMBER, TOK_ASSIGN, TOK_VALUE, TOK_SEMI, TOK_LABEL, TOK_SEMI}));
  Token* goTo = NextSignificant(NextSignificant(NextSignificant(NextSignificant(NextSignificant(Body())))));
  ASSERT_EQ(goTo->code, TOK_GOTO);
  EXPECT_STREQ(goTo->data.text, "end");
}

TEST_F(TokenizerTest, PeriodBeforeADigitStartsANumber) {
  EXPECT_EQ(Codes("x = .5;"), (CodeList{TOK_NAME, TOK_ASSIGN, TOK_VALUE, TOK_SEMI}));
  Token* value = NextSignificant(NextSignificant(NextSignificant(Body())));
  EXPECT_EQ(value->data.value->data->type, KEL_FLOAT);
  EXPECT_DOUBLE_EQ(value->data.value->data->payload.floatValue, 0.5);
}

// The text of the string held by [token].
std::string StringOf(const Token* token) {
  VarData* data = token->data.value->data;
  return std::string(reinterpret_cast<const char*>(ByteElements(data)));
}

TEST_F(TokenizerTest, AdjacentLiteralsJoin) {
  EXPECT_EQ(Codes("x = 'A' \"BC\";"), (CodeList{TOK_NAME, TOK_ASSIGN, TOK_VALUE, TOK_SEMI}));
  Token* value = NextSignificant(NextSignificant(NextSignificant(Body())));
  EXPECT_EQ(StringOf(value), "ABC");
  EXPECT_EQ(value->data.value->data->isString, 1);
  EXPECT_EQ(value->data.value->literal, 1u);
}

TEST_F(TokenizerTest, StringsAcrossLinesJoin) {
  CodeList codes = Codes("x = \"AB\"\n   \"CD\";");
  EXPECT_EQ(codes, (CodeList{TOK_NAME, TOK_ASSIGN, TOK_VALUE, TOK_SEMI}));
  EXPECT_EQ(StringOf(NextSignificant(NextSignificant(NextSignificant(Body())))), "ABCD");
}

TEST_F(TokenizerTest, CharacterLiterals) {
  CodeList codes = Codes("a = 'x'; b = 'xy';");
  ASSERT_EQ(codes.size(), 8u);
  Token* single = NextSignificant(NextSignificant(NextSignificant(Body())));
  EXPECT_EQ(single->data.value->data->type, KEL_BYTE);
  EXPECT_EQ(single->data.value->data->dimension, 0);
  EXPECT_EQ(single->data.value->data->payload.byteValue, 'x');
  Token* pair = NextSignificant(NextSignificant(NextSignificant(NextSignificant(single))));
  EXPECT_EQ(pair->data.value->data->dimension, 1);
  EXPECT_EQ(pair->data.value->data->elemCount, 2u);  // no terminator
  EXPECT_EQ(pair->data.value->data->isString, 0);
}

TEST_F(TokenizerTest, FunctionDefinitionsAreCutOut) {
  CodeList global = Codes("x = 1;\nadd(a, b) { return a + b; }\ny = add(1, 2);");
  EXPECT_EQ(global, (CodeList{TOK_NAME, TOK_ASSIGN, TOK_VALUE, TOK_SEMI, TOK_NAME, TOK_ASSIGN, TOK_CALL_OPEN,
                           TOK_VALUE, TOK_ARG_COMMA, TOK_VALUE, TOK_CALL_CLOSE, TOK_SEMI}));
  FunctionRecord* add = context_.functions->Find("ADD");
  ASSERT_NE(add, nullptr);
  // The parameter list stands before the body, its commas removed.
  Token* at = PrevSignificant(add->body);
  EXPECT_EQ(at->code, TOK_CALL_CLOSE);
  EXPECT_STREQ(PrevSignificant(at)->data.text, "b");
  EXPECT_STREQ(PrevSignificant(PrevSignificant(at))->data.text, "a");
  EXPECT_EQ(PrevSignificant(PrevSignificant(PrevSignificant(at)))->code, TOK_CALL_OPEN);
}

TEST_F(TokenizerTest, LaterDefinitionWins) {
  CodeList ignored = Codes("f() { return 1; } f() { return 2; }");
  (void)ignored;
  int count = 0;
  for (FunctionRecord* record = context_.functions->First(); record != nullptr; record = record->next) {
    if (record->name == "f") ++count;
  }
  EXPECT_EQ(count, 1);
  Token* value = NextSignificant(NextSignificant(context_.functions->Find("f")->body));
  EXPECT_EQ(value->data.value->data->payload.intValue, 2);
}

TEST_F(TokenizerTest, MacrosExpandIntoTokens) {
  context_.defines->Define("TWO", std::string_view("1 + 1"));
  EXPECT_EQ(Codes("x = two;"), (CodeList{TOK_NAME, TOK_ASSIGN, TOK_VALUE, TOK_ADD, TOK_VALUE, TOK_SEMI}));
}

TEST_F(TokenizerTest, ErrorsReportOnce) {
  std::string code = ")";
  EXPECT_FALSE(Tokenize(context_, code, false));
  EXPECT_EQ(host_.errors, "1103: No matching \"(\" for \")\" in function \":Global Initialization:\".\n");
  EXPECT_EQ(context_.runState, RUN_ERROR);
}

}  // namespace
}  // namespace kel
