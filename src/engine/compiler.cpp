// Parsing a function's bound token list into statement and expression nodes,
// exactly as far as walking the tokens would go: where the walk would report
// an error, an error node stands, to be reported when the walk reaches it.

#include <algorithm>
#include <vector>

#include "base/fast_paths.h"
#include "engine/call_site.h"
#include "engine/code.h"
#include "engine/functions.h"
#include "engine/pure_integer.h"
#include "engine/quick.h"
#include "engine/quick_int.h"
#include "engine/token.h"
#include "platform/system.h"

namespace kel {

// ===================================================================
// Node storage
// ===================================================================

void* CompiledBody::Allocate(std::size_t bytes) {
  bytes = (bytes + 7) & ~static_cast<std::size_t>(7);
  if (used_ + bytes > size_) {
    size_ = std::max<std::size_t>(bytes, 4096);
    blocks_.push_back(std::make_unique<unsigned char[]>(size_));
    used_ = 0;
  }
  void* at = blocks_.back().get() + used_;
  used_ += bytes;
  return at;
}

CompiledBody::CompiledBody() = default;
CompiledBody::~CompiledBody() = default;

ExprNode* CompiledBody::NewExpr(std::uint8_t kind, const Token* token) {
  auto* node = static_cast<ExprNode*>(Allocate(sizeof(ExprNode)));
  std::memset(node, 0, sizeof *node);
  node->quickInt = NoQuickInt;
  node->quickRun = NoQuickRun;
  node->kind = kind;
  node->token = token;
  return node;
}

const char* CompiledBody::NewText(const std::string& text) {
  auto* copy = static_cast<char*>(Allocate(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

StmtNode* CompiledBody::NewStmt(std::uint8_t kind, const Token* token) {
  auto* node = static_cast<StmtNode*>(Allocate(sizeof(StmtNode)));
  std::memset(node, 0, sizeof *node);
  node->kind = kind;
  node->token = token;
  return node;
}

namespace {

// The level at which an operator continues an expression after an operand;
// 0 for tokens that end it. "++" and "--" there are postfix and bind tightest.
int ContinuationLevel(std::uint16_t code) {
  if (code == TOK_INC || code == TOK_DEC) return LEVEL_POSTFIX;
  if (code < 0x0100) return 0;
  return TokenLevel(code);
}

bool IsPrefixOperator(std::uint16_t code) {
  return code == TOK_NOT || code == TOK_COMPL || code == TOK_PLUS || code == TOK_NEG || code == TOK_INC ||
         code == TOK_DEC;
}

bool IsCompoundAssignment(std::uint16_t code) { return code > TOK_ASSIGN && code <= TOK_SHR_ASSIGN; }

class Compiler {
 public:
  explicit Compiler(CompiledBody& out) : out_(out) {}
  StmtNode* Block(Token* brace);

 private:
  void Advance() { cursor_ = cursor_ != nullptr ? NextSignificant(cursor_) : nullptr; }
  bool At(std::uint16_t code) const { return cursor_ != nullptr && cursor_->code == code; }
  std::uint16_t Code() const { return cursor_ != nullptr ? cursor_->code : 0; }

  // An error node for [message] at [at], raised once [prelude] (if any) is
  // evaluated; its text is formatted now, with [args].
  template <typename... Args>
  ExprNode* Error(Message<Args...> message, const Token* at, ExprNode* prelude = nullptr, Args... args) {
    return ErrorNode(FormatMessage(message, args...), at, prelude);
  }
  ExprNode* ErrorNode(const std::string& text, const Token* at, ExprNode* prelude);

  // Expressions
  ExprNode* Expression(const Token* end, bool allowComma, bool stopAtSemicolon, bool& hasValue);
  ExprNode* ExpressionUnmarked(const Token* end, bool allowComma, bool stopAtSemicolon, bool& hasValue);
  ExprNode* Climb(int level, std::uint16_t pending, const Token* end);
  ExprNode* Operand(const Token* end);
  ExprNode* Operators(ExprNode* left, int level, std::uint16_t pending, const Token* end);
  ExprNode* Group();
  ExprNode* Call();
  ExprNode* Prefix(const Token* end);
  ExprNode* MissingLeftOperand(const Token* end);
  ExprNode* Conditional(ExprNode* condition, const Token* end);
  ExprNode* Logical(ExprNode* left, const Token* end);
  ExprNode* Index(ExprNode* base);
  ExprNode* Initializer();
  ExprNode* Condition(Message<> failure);

  // Statements
  StmtNode* Statement();
  StmtNode* ExpressionStatement();
  StmtNode* Return();
  StmtNode* If();
  StmtNode* While();
  StmtNode* Do();
  StmtNode* For();
  StmtNode* Switch();
  // An error statement for [message] at [at]; its text is formatted now.
  template <typename... Args>
  StmtNode* StatementError(Message<Args...> message, const Token* at, Args... args) {
    return ErrorStatement(FormatMessage(message, args...), at);
  }
  StmtNode* ErrorStatement(const std::string& text, const Token* at);

  CompiledBody& out_;
  Token* cursor_ = nullptr;
  // Set once an error node has been placed whose reach ends the walk: what
  // follows it in the statement can never run, so parsing stops there.
  bool aborted_ = false;
};

ExprNode* Compiler::ErrorNode(const std::string& text, const Token* at, ExprNode* prelude) {
  ExprNode* node = out_.NewExpr(EX_ERROR, at);
  node->left = prelude;
  node->errorText = out_.NewText(text);
  aborted_ = true;
  return node;
}

// ===================================================================
// Expressions
// ===================================================================

// One whole expression: operands and operators, then the comma operator
// when allowed, then a ";" when asked to stop there.
ExprNode* Compiler::Expression(const Token* end, bool allowComma, bool stopAtSemicolon, bool& hasValue) {
  ExprNode* node = ExpressionUnmarked(end, allowComma, stopAtSemicolon, hasValue);
  MarkPure(node);
  return node;
}

ExprNode* Compiler::ExpressionUnmarked(const Token* end, bool allowComma, bool stopAtSemicolon, bool& hasValue) {
  ExprNode* node = Climb(0, 0, end);
  hasValue = node->kind != EX_NO_VALUE;
  if (aborted_) return node;
  if (hasValue) {
    while (allowComma && At(TOK_COMMA) && cursor_ != end) {
      const Token* comma = cursor_;
      Advance();
      ExprNode* rest = Climb(0, 0, end);
      if (rest->kind == EX_NO_VALUE) rest = Error(MSG_1504, cursor_ != nullptr ? cursor_ : comma);
      ExprNode* pair = out_.NewExpr(EX_COMMA, comma);
      pair->left = node;
      pair->right = rest;
      node = pair;
      if (aborted_) return node;
    }
  }
  if (stopAtSemicolon && At(TOK_SEMI)) Advance();
  return node;
}

// An operand followed by every operator above [level]; [pending] is the
// operator waiting for this operand.
ExprNode* Compiler::Climb(int level, std::uint16_t pending, const Token* end) {
  if (cursor_ == nullptr || cursor_ == end) return Error(MSG_1504, cursor_ != nullptr ? cursor_ : end);
  if (platform::StackRemaining() < kStackGuard) return Error(MSG_8000, cursor_);
  ExprNode* left = Operand(end);
  if (left->kind == EX_NO_VALUE || aborted_) return left;
  return Operators(left, level, pending, end);
}

ExprNode* Compiler::Operand(const Token* end) {
  Token* token = cursor_;
  switch (token->code) {
    case TOK_VALUE: {
      Var* value = token->data.value;
      ExprNode* node;
      if (IsLvalue(value)) {
        node = out_.NewExpr(EX_VARIABLE, token);  // a bound global or environment variable
        node->var = value;
      } else if (value->data->dimension == 0 && IsNumericKind(value->data->type)) {
        node = out_.NewExpr(EX_NUMBER, token);
        node->number = GetScalar(value);
      } else {
        node = out_.NewExpr(EX_CONSTANT, token);
        node->var = value;
      }
      Advance();
      return node;
    }
    case TOK_VARSLOT: {
      std::int32_t slot = token->data.slot;
      ExprNode* node = out_.NewExpr(slot >= 0 ? EX_LOCAL : EX_PARAMETER, token);
      node->slot = slot >= 0 ? slot : -1 - slot;
      Advance();
      return node;
    }
    case TOK_GROUP_OPEN: return Group();
    case TOK_CALL_OPEN: return Call();
    case TOK_NAME:
    case TOK_LABEL:
      return Error(MSG_1301, token);
    default:
      break;
  }
  if (IsPrefixOperator(token->code)) return Prefix(end);
  int level = TokenLevel(token->code);
  if (level >= 1 && level <= LEVEL_MULTIPLICATIVE) return MissingLeftOperand(end);
  return out_.NewExpr(EX_NO_VALUE, token);
}

ExprNode* Compiler::Operators(ExprNode* left, int level, std::uint16_t pending, const Token* end) {
  while (!aborted_ && cursor_ != nullptr && cursor_ != end) {
    const std::uint16_t code = cursor_->code;
    const int next = ContinuationLevel(code);
    if (next == 0) break;
    if (next <= level && !(code == TOK_ASSIGN && pending == TOK_ASSIGN)) break;
    const Token* token = cursor_;
    switch (code) {
      case TOK_QUESTION:
        left = Conditional(left, end);
        continue;
      case TOK_ANDAND:
      case TOK_OROR:
        left = Logical(left, end);
        continue;
      case TOK_INDEX_OPEN:
        left = Index(left);
        continue;
      case TOK_MEMBER: {
        ExprNode* member = out_.NewExpr(EX_MEMBER, token);
        member->left = left;
        member->name = token->data.text;
        left = member;
        Advance();
        continue;
      }
      case TOK_INC:
      case TOK_DEC: {
        ExprNode* postfix = out_.NewExpr(EX_POSTFIX, token);
        postfix->op = code;
        postfix->left = left;
        left = postfix;
        Advance();
        continue;
      }
      default:
        break;
    }
    Advance();
    ExprNode* right;
    if (code == TOK_ASSIGN && At(TOK_BLOCK_OPEN)) {
      right = Initializer();
    } else {
      right = Climb(next, code, end);
      if (right->kind == EX_NO_VALUE) right = Error(MSG_1504, right->token);
    }
    std::uint8_t kind = code == TOK_ASSIGN ? EX_ASSIGN : IsCompoundAssignment(code) ? EX_COMPOUND : EX_BINARY;
    ExprNode* node = out_.NewExpr(kind, token);
    node->op = code;
    node->left = left;
    node->right = right;
    left = node;
  }
  return left;
}

// "(" ... ")": a whole expression that must end at the partner.
ExprNode* Compiler::Group() {
  Token* open = cursor_;
  Token* close = open->partner;
  Advance();
  bool hasValue = false;
  ExprNode* inner = Expression(close, true, false, hasValue);
  if (aborted_) return inner;
  if (!hasValue || cursor_ != close) return Error(MSG_1505, cursor_ != nullptr ? cursor_ : open, inner);
  Advance();
  return inner;
}

// A call: the name's token is the "(", arguments are separated by argument
// commas; "=" before an argument asks for a copy.
ExprNode* Compiler::Call() {
  Token* open = cursor_;
  Token* close = open->partner;
  ExprNode* node = out_.NewExpr(EX_CALL, open);
  node->name = open->data.text;
  std::vector<ExprNode*> arguments;
  Advance();
  bool needArgument = false;
  while (cursor_ != close || needArgument) {
    std::int32_t number = static_cast<std::int32_t>(arguments.size()) + 1;
    bool forceCopy = At(TOK_ASSIGN);
    if (forceCopy) Advance();
    bool hasValue = false;
    ExprNode* argument = Expression(nullptr, false, false, hasValue);
    if (aborted_) {
      arguments.push_back(argument);
      break;
    }
    if (!hasValue) {
      arguments.push_back(Error(MSG_1501, argument->token, nullptr, number));
      break;
    }
    if (forceCopy) argument->flags |= EXPR_FORCE_COPY;
    arguments.push_back(argument);
    if (At(TOK_ARG_COMMA)) {
      Advance();
      needArgument = true;
    } else if (cursor_ == close) {
      needArgument = false;
    } else {
      arguments.push_back(Error(MSG_1501, cursor_ != nullptr ? cursor_ : open, nullptr, number));
      break;
    }
  }
  node->items = out_.NewArray(arguments);
  node->count = static_cast<std::uint32_t>(arguments.size());
  if (!aborted_) Advance();
  return node;
}

ExprNode* Compiler::Prefix(const Token* end) {
  Token* token = cursor_;
  Advance();
  ExprNode* operand = Climb(LEVEL_UNARY, token->code, end);
  if (aborted_) return operand;
  if (operand->kind == EX_NO_VALUE) return Error(MSG_1506, token, nullptr, TokenText(token));
  ExprNode* node = out_.NewExpr(EX_PREFIX, token);
  node->op = token->code;
  node->left = operand;
  return node;
}

// A binary operator where an operand should stand: its right operand is
// taken, and applying it then finds no first operand.
ExprNode* Compiler::MissingLeftOperand(const Token* end) {
  Token* token = cursor_;
  Advance();
  ExprNode* right = Climb(TokenLevel(token->code), token->code, end);
  if (aborted_) return right;
  if (right->kind == EX_NO_VALUE) return Error(MSG_1504, right->token);
  ExprNode* error = Error(MSG_1705, token, right);
  error->flags |= EXPR_RAISE_ALWAYS;
  return error;
}

// cond ? first : second. The first branch ends at its partner ":"; the
// second runs as far as an expression can, so conditionals group from the right.
ExprNode* Compiler::Conditional(ExprNode* condition, const Token* end) {
  Token* question = cursor_;
  Token* colon = question->partner;
  ExprNode* node = out_.NewExpr(EX_CONDITIONAL, question);
  node->left = condition;
  Advance();
  bool hasValue = false;
  node->right = Expression(colon, true, false, hasValue);
  if (aborted_) return node;
  if (!hasValue) {
    node->right = Error(MSG_1507, question, node->right);
    return node;
  }
  if (cursor_ == nullptr || cursor_ != colon) {
    node->right = Error(MSG_1203, cursor_ != nullptr ? cursor_ : question, node->right);
    return node;
  }
  Advance();
  node->third = Expression(end, false, false, hasValue);
  if (!aborted_ && !hasValue) node->third = Error(MSG_1507, question);
  return node;
}

ExprNode* Compiler::Logical(ExprNode* left, const Token* end) {
  Token* token = cursor_;
  Advance();
  ExprNode* right = Climb(TokenLevel(token->code), token->code, end);
  if (!aborted_ && right->kind == EX_NO_VALUE) right = Error(MSG_1508, token);
  ExprNode* node = out_.NewExpr(EX_LOGICAL, token);
  node->op = token->code;
  node->left = left;
  node->right = right;
  return node;
}

ExprNode* Compiler::Index(ExprNode* base) {
  Token* open = cursor_;
  Token* close = open->partner;
  Advance();
  bool hasValue = false;
  ExprNode* index = Expression(close, false, false, hasValue);
  if (!aborted_ && (!hasValue || cursor_ != close)) index = Error(MSG_1502, cursor_ != nullptr ? cursor_ : open, index);
  ExprNode* node = out_.NewExpr(EX_INDEX, open);
  node->left = base;
  node->right = index;
  if (!aborted_) Advance();
  return node;
}

// { element, element, ... }: elements may be initializers themselves; a
// comma may stand before the "}".
ExprNode* Compiler::Initializer() {
  Token* open = cursor_;
  Token* close = open->partner;
  ExprNode* node = out_.NewExpr(EX_INITIALIZER, open);
  std::vector<ExprNode*> elements;
  Advance();
  while (cursor_ != close && cursor_ != nullptr) {
    ExprNode* element;
    if (At(TOK_BLOCK_OPEN)) {
      element = Initializer();
    } else {
      bool hasValue = false;
      element = Expression(close, false, false, hasValue);
      if (!aborted_ && !hasValue) element = Error(MSG_1509, element->token);
    }
    elements.push_back(element);
    if (aborted_) break;
    if (At(TOK_COMMA)) {
      Advance();
    } else if (cursor_ != close) {
      elements.push_back(Error(MSG_1106, cursor_ != nullptr ? cursor_ : open));
      break;
    }
  }
  node->items = out_.NewArray(elements);
  node->count = static_cast<std::uint32_t>(elements.size());
  if (!aborted_) Advance();
  return node;
}

// The condition of if, while, do and for. "if (x) ++y" keeps its "++" for
// the statement: a condition in parentheses followed by "++" or "--" is only
// what stands inside them.
ExprNode* Compiler::Condition(Message<> failure) {
  bool hasValue = false;
  ExprNode* condition;
  const Token* start = cursor_;
  if (At(TOK_GROUP_OPEN) && cursor_->partner != nullptr) {
    Token* close = cursor_->partner;
    Token* after = NextSignificant(close);
    if (after != nullptr && (after->code == TOK_INC || after->code == TOK_DEC)) {
      Advance();
      condition = Expression(close, true, false, hasValue);
      if (aborted_) return condition;
      if (!hasValue || cursor_ != close) return Error(failure, start, condition);
      cursor_ = after;
      return condition;
    }
  }
  condition = Expression(nullptr, false, false, hasValue);
  if (!aborted_ && !hasValue) return Error(failure, start != nullptr ? start : cursor_);
  return condition;
}

// ===================================================================
// Statements
// ===================================================================

StmtNode* Compiler::ErrorStatement(const std::string& text, const Token* at) {
  StmtNode* node = out_.NewStmt(ST_ERROR, at);
  node->errorText = out_.NewText(text);
  aborted_ = true;
  return node;
}

// The statements of a block up to its partner "}", which ends the list.
StmtNode* Compiler::Block(Token* brace) {
  StmtNode* block = out_.NewStmt(ST_BLOCK, brace);
  Token* close = brace->partner;
  std::vector<StmtNode*> items;
  cursor_ = NextSignificant(brace);
  while (cursor_ != nullptr && cursor_ != close) {
    items.push_back(Statement());
    if (aborted_) break;  // nothing after the statement that reports can run
  }
  aborted_ = false;
  items.push_back(out_.NewStmt(ST_BLOCK_END, close));
  block->items = out_.NewArray(items);
  block->count = static_cast<std::uint32_t>(items.size());
  cursor_ = close != nullptr ? NextSignificant(close) : nullptr;
  return block;
}

StmtNode* Compiler::Statement() {
  Token* token = cursor_;
  if (platform::StackRemaining() < kStackGuard) return StatementError(MSG_8000, token);
  switch (token->code) {
    case TOK_BLOCK_OPEN: {
      if (token->partner == nullptr) return StatementError(MSG_0002, token, token->code, TokenText(token));
      return Block(token);
    }
    case TOK_BLOCK_CLOSE:
      // The end of the enclosing block as a statement of its own (if (x) }):
      // it stays for the block to find.
      return out_.NewStmt(ST_BLOCK_END, token);
    case TOK_LABEL: {
      StmtNode* node = out_.NewStmt(ST_LABEL, token);
      node->label = token->data.text;
      Advance();
      return node;
    }
    case TOK_BREAK:
    case TOK_CONTINUE:
    case TOK_GOTO: {
      StmtNode* node = out_.NewStmt(token->code == TOK_BREAK ? ST_BREAK : token->code == TOK_CONTINUE ? ST_CONTINUE : ST_GOTO, token);
      if (token->code == TOK_GOTO) node->label = token->data.text;
      Advance();
      if (At(TOK_SEMI)) Advance();
      return node;
    }
    case TOK_RETURN: return Return();
    case TOK_IF: return If();
    case TOK_WHILE: return While();
    case TOK_DO: return Do();
    case TOK_FOR: return For();
    case TOK_SWITCH: return Switch();
    default: return ExpressionStatement();
  }
}

// An expression statement; one that gives no value and is not the empty
// statement ";" cannot stand here.
StmtNode* Compiler::ExpressionStatement() {
  Token* token = cursor_;
  bool endsWithSemicolon = false;
  bool hasValue = false;
  ExprNode* expr = Expression(nullptr, true, false, hasValue);
  if (!aborted_ && At(TOK_SEMI)) {
    endsWithSemicolon = true;
    Advance();
  }
  if (!aborted_ && !hasValue && !endsWithSemicolon) {
    return StatementError(MSG_0002, token, token->code, TokenText(token));
  }
  StmtNode* node = out_.NewStmt(ST_EXPRESSION, token);
  node->expr = hasValue || aborted_ ? expr : nullptr;
  for (ExprNode* part = node->expr; part != nullptr; part = part->kind == EX_COMMA ? part->right : nullptr) {
    part->flags |= EXPR_DISCARDED;
    if (part->kind == EX_COMMA) part->left->flags |= EXPR_DISCARDED;
  }
  return node;
}

StmtNode* Compiler::Return() {
  StmtNode* node = out_.NewStmt(ST_RETURN, cursor_);
  Advance();
  bool hasValue = false;
  ExprNode* expr = Expression(nullptr, true, true, hasValue);
  node->expr = hasValue || aborted_ ? expr : nullptr;
  return node;
}

StmtNode* Compiler::If() {
  StmtNode* node = out_.NewStmt(ST_IF, cursor_);
  Advance();
  node->expr = Condition(MSG_1503);
  if (aborted_ || cursor_ == nullptr) return node;
  node->body = Statement();
  if (aborted_) return node;
  if (At(TOK_ELSE)) {
    Advance();
    if (cursor_ != nullptr) node->other = Statement();
  }
  return node;
}

StmtNode* Compiler::While() {
  StmtNode* node = out_.NewStmt(ST_WHILE, cursor_);
  Advance();
  node->expr = Condition(MSG_1503);
  if (aborted_ || cursor_ == nullptr) return node;
  node->body = Statement();
  return node;
}

StmtNode* Compiler::Do() {
  StmtNode* node = out_.NewStmt(ST_DO, cursor_);
  Advance();
  if (cursor_ == nullptr) return node;
  node->body = Statement();
  if (aborted_) return node;
  if (!At(TOK_WHILE)) {
    node->flag = true;  // 1204, reported after the first pass of the body
    aborted_ = true;
    return node;
  }
  Advance();
  node->expr = Condition(MSG_1503);
  if (!aborted_ && At(TOK_SEMI)) Advance();
  return node;
}

// for (init; test; step) body: the header is only parsed as far as running
// it would go; its faults are reported when it runs.
StmtNode* Compiler::For() {
  StmtNode* node = out_.NewStmt(ST_FOR, cursor_);
  Advance();
  if (!At(TOK_GROUP_OPEN) || cursor_->partner == nullptr) {
    return StatementError(MSG_1205, cursor_ != nullptr ? cursor_ : node->token);
  }
  Token* close = cursor_->partner;
  Advance();
  node->init = Statement();
  if (!aborted_ && (cursor_ == nullptr || PrevSignificant(cursor_)->code != TOK_SEMI)) node->forError = 1;
  if (!aborted_ && node->forError == 0) {
    if (!At(TOK_SEMI)) node->test = Condition(MSG_1503);
    if (!aborted_ && !At(TOK_SEMI)) node->forError = 2;
    if (!aborted_ && node->forError == 0) {
      Advance();
      if (cursor_ != close && cursor_ != nullptr) node->other = Statement();
    }
  }
  aborted_ = false;  // the header's faults are reported when it runs
  cursor_ = NextSignificant(close);
  node->body = cursor_ != nullptr ? Statement() : nullptr;
  return node;
}

StmtNode* Compiler::Switch() {
  StmtNode* node = out_.NewStmt(ST_SWITCH, cursor_);
  Advance();
  bool hasValue = false;
  ExprNode* value = Expression(nullptr, true, false, hasValue);
  if (aborted_) {
    node->expr = value;
    return node;
  }
  if (!hasValue) return StatementError(MSG_1206, node->token);
  node->expr = value;
  if (!At(TOK_BLOCK_OPEN) || cursor_->partner == nullptr) {
    return StatementError(MSG_1207, cursor_ != nullptr ? cursor_ : node->token);
  }
  Token* close = cursor_->partner;
  Advance();
  std::vector<StmtNode*> items;
  while (cursor_ != nullptr && cursor_ != close) {
    Token* token = cursor_;
    if (token->code == TOK_DEFAULT) {
      items.push_back(out_.NewStmt(ST_DEFAULT, token));
      Advance();
      if (At(TOK_CASE_COLON)) Advance();
    } else if (token->code == TOK_CASE) {
      StmtNode* label = out_.NewStmt(ST_CASE, token);
      Advance();
      label->expr = Expression(nullptr, true, false, hasValue);
      items.push_back(label);
      if (aborted_) break;
      if (!hasValue || !At(TOK_CASE_COLON)) {
        label->expr = Error(MSG_1208, token, hasValue ? label->expr : nullptr);
        break;
      }
      Advance();
    } else {
      items.push_back(Statement());
      if (aborted_) break;
    }
  }
  aborted_ = false;
  items.push_back(out_.NewStmt(ST_BLOCK_END, close));
  node->items = out_.NewArray(items);
  node->count = static_cast<std::uint32_t>(items.size());
  cursor_ = NextSignificant(close);
  return node;
}

}  // namespace

void MarkPure(ExprNode* node) {
  if (node == nullptr || (node->flags & EXPR_PURITY_KNOWN)) return;
  node->flags |= EXPR_PURITY_KNOWN;
  // Too deep to follow here: not pure, so nothing quick reads it.
  if (platform::StackRemaining() < kStackGuard) return;
  bool pure;
  switch (node->kind) {
    case EX_NUMBER: case EX_CONSTANT: case EX_VARIABLE: case EX_LOCAL: case EX_PARAMETER:
      pure = true;
      break;
    case EX_PREFIX:
      pure = node->op != TOK_INC && node->op != TOK_DEC;
      break;
    case EX_BINARY: case EX_LOGICAL: case EX_CONDITIONAL: case EX_INDEX: case EX_MEMBER: case EX_COMMA:
      pure = true;
      break;
    default:
      pure = false;
      break;
  }
  int height = 1;
  for (ExprNode* child : {node->left, node->right, node->third}) {
    if (child == nullptr) continue;
    MarkPure(child);
    pure = pure && (child->flags & EXPR_PURE);
    height = std::max(height, child->pureHeight + 1);
  }
  for (std::uint32_t i = 0; i < node->count; ++i) MarkPure(node->items[i]);
  if (pure && height <= kQuickHeight) {
    node->flags |= EXPR_PURE;
    node->pureHeight = static_cast<std::uint8_t>(height);
  }
}

namespace {

// OPTIMIZATION: the branch not taken is walked for its errors of form; most
// hold none, and are then passed over in one step.
// Each expression node also gets its quick routines here, once the whole
// function is parsed.
bool MarkWalkInert(ExprNode* node) {
  if (node == nullptr) return true;
  // Too deep to follow here: walked, and without quick routines.
  if (platform::StackRemaining() < kStackGuard) return false;
  bool inert = node->kind != EX_ERROR && !(node->kind == EX_MEMBER && node->name == nullptr);
  for (ExprNode* child : {node->left, node->right, node->third}) inert = MarkWalkInert(child) && inert;
  for (std::uint32_t i = 0; i < node->count; ++i) inert = MarkWalkInert(node->items[i]) && inert;
  if (inert) node->flags |= EXPR_WALK_INERT;
  if constexpr (kFastPaths) {
    ChooseQuickInt(node);
    ChooseQuickRun(node);
    ChooseArgumentForm(node);
  }
  return inert;
}

bool MarkWalkInert(StmtNode* node) {
  if (node == nullptr) return true;
  if (platform::StackRemaining() < kStackGuard) {
    node->walkInert = false;
    return false;
  }
  // Both are marked, whatever the first gives.
  const bool expressionInert = MarkWalkInert(node->expr);
  bool inert = MarkWalkInert(node->test) && expressionInert;
  for (StmtNode* child : {node->body, node->other, node->init}) inert = MarkWalkInert(child) && inert;
  for (std::uint32_t i = 0; i < node->count; ++i) MarkWalkInert(node->items[i]);
  switch (node->kind) {
    case ST_EXPRESSION: case ST_BLOCK: case ST_GOTO: case ST_RETURN: case ST_IF: case ST_WHILE: case ST_FOR:
      break;
    case ST_DO:
      inert = inert && !node->flag;
      break;
    default:  // labels, loop controls, switches and errors are always walked
      inert = false;
      break;
  }
  node->walkInert = inert;
  return inert;
}

}  // namespace

std::unique_ptr<CompiledBody> CompileFunction(const FunctionRecord& function) {
  auto body = std::make_unique<CompiledBody>();
  Compiler compiler(*body);
  body->body = compiler.Block(function.body);
  MarkWalkInert(body->body);
  if constexpr (kFastPaths) {
    body->flat = FlattenBody(body->body);
    body->pure = CompilePureInteger(function, body->body);
  }
  return body;
}

}  // namespace kel
