// Token list primitives, navigation and reverse translation.

#include "engine/token.h"

#include <cstring>

#include "base/pool.h"
#include "engine/value.h"

namespace kel {


namespace {

Pool<Token> tokenPool;

struct CodeText {
  std::uint16_t code;
  const char* text;
};

// The 64 codes that have a text of their own.
constexpr CodeText kCodeTexts[] = {
    {TOK_GROUP_CLOSE, ")"},  {TOK_INDEX_CLOSE, "]"},   {TOK_BLOCK_OPEN, "{"},
    {TOK_BLOCK_CLOSE, "}"},  {TOK_CALL_CLOSE, ")"},    {TOK_LABEL, ":"},
    {TOK_SEMI, ";"},         {TOK_BREAK, "BREAK"},     {TOK_CONTINUE, "CONTINUE"},
    {TOK_GOTO, "GOTO"},      {TOK_CASE_COLON, ":"},    {TOK_RETURN, "RETURN"},
    {TOK_IF, "IF"},          {TOK_ELSE, "ELSE"},       {TOK_SWITCH, "SWITCH"},
    {TOK_CASE, "CASE"},      {TOK_DEFAULT, "DEFAULT"}, {TOK_WHILE, "WHILE"},
    {TOK_DO, "DO"},          {TOK_FOR, "FOR"},         {TOK_GROUP_OPEN, "("},
    {TOK_CALL_OPEN, "("},    {TOK_CALL_RESOLVED, "("}, {TOK_ARG_COMMA, ","},
    {TOK_COMMA, ","},        {TOK_COND_COLON, ":"},    {TOK_ASSIGN, "="},
    {TOK_MUL_ASSIGN, "*="},  {TOK_DIV_ASSIGN, "/="},   {TOK_MOD_ASSIGN, "%="},
    {TOK_ADD_ASSIGN, "+="},  {TOK_SUB_ASSIGN, "-="},   {TOK_AND_ASSIGN, "&="},
    {TOK_XOR_ASSIGN, "^="},  {TOK_OR_ASSIGN, "|="},    {TOK_SHL_ASSIGN, "<<="},
    {TOK_SHR_ASSIGN, ">>="}, {TOK_QUESTION, "?"},      {TOK_OROR, "||"},
    {TOK_ANDAND, "&&"},      {TOK_BITOR, "|"},         {TOK_BITXOR, "^"},
    {TOK_BITAND, "&"},       {TOK_EQ, "=="},           {TOK_NE, "!="},
    {TOK_LT, "<"},           {TOK_LE, "<="},           {TOK_GT, ">"},
    {TOK_GE, ">="},          {TOK_SHL, "<<"},          {TOK_SHR, ">>"},
    {TOK_ADD, "+"},          {TOK_SUB, "-"},           {TOK_MUL, "*"},
    {TOK_DIV, "/"},          {TOK_MOD, "%"},           {TOK_NOT, "!"},
    {TOK_COMPL, "~"},        {TOK_PLUS, "+"},          {TOK_NEG, "-"},
    {TOK_INC, "++"},         {TOK_DEC, "--"},          {TOK_INDEX_OPEN, "["},
    {TOK_MEMBER, "."},
};
static_assert(sizeof kCodeTexts / sizeof kCodeTexts[0] == 64);

void ReleasePayload(Token* token) {
  if (OwnsText(token->code)) {
    delete[] token->data.text;
  } else if (token->code == TOK_VALUE && token->data.value != nullptr && token->data.value->flags == 0) {
    // A literal's constant; a bound variable belongs to its scope.
    ReleaseVar(token->data.value);
  }
}

}  // namespace

Token* InsertAfter(Token* after) {
  Token* token = tokenPool.Allocate();
  *token = Token{TOK_EMPTY, 0, {nullptr}, after, nullptr, nullptr};
  if (after != nullptr) {
    token->next = after->next;
    if (after->next != nullptr) after->next->prev = token;
    after->next = token;
  }
  return token;
}

void DestroyToken(Token* token) {
  ReleasePayload(token);
  if (token->prev != nullptr) token->prev->next = token->next;
  if (token->next != nullptr) token->next->prev = token->prev;
  tokenPool.Free(token);
}

void DestroyTokenList(Token* token) {
  if (token == nullptr) return;
  while (token->prev != nullptr) token = token->prev;
  while (token != nullptr) {
    Token* next = token->next;
    ReleasePayload(token);
    tokenPool.Free(token);
    token = next;
  }
}

char* CopyText(const char* text, std::uint32_t length) {
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

const char* TokenCodeText(std::uint16_t code) {
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == code) return entry.text;
  }
  return "UNTRANSLATABLE TOKEN!!";
}

bool IsListCode(std::uint16_t code) {
  if (code == TOK_NAME || code == TOK_VALUE || code == TOK_VARSLOT) return true;
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == code) return true;
  }
  return false;
}

const char* TokenText(const Token* token) { return TokenCodeText(token->code); }

Token* PrevSignificant(const Token* token) {
  Token* at = token->prev;
  while (at != nullptr && IsMarker(at->code)) at = at->prev;
  return at;
}

Token* NextSignificant(const Token* token) {
  Token* at = token->next;
  while (at != nullptr && IsMarker(at->code)) at = at->next;
  return at;
}

}  // namespace kel
