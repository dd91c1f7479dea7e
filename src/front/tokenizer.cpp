// The tokenizer: classifies every token by its context in a single pass,
// partners brackets, makes literals into constant values, expands macros and
// cuts function definitions out into token lists of their own.

#include "front/tokenizer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "base/literals.h"
#include "base/text.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/token.h"
#include "engine/value.h"
#include "front/source.h"

namespace kel {

namespace {

// The 28 characters that end a word.
constexpr std::string_view kOperatorCharacters = "+-<>&|=!*/%^~?:,{};()[].'\"`#";

// Macros that expand into macros are followed this deep; a text that uses its
// own name would otherwise expand forever.
constexpr int kMaxMacroNesting = 64;
constexpr std::size_t kMaxExpansion = 1 << 20;  // bytes of macro text one line may expand to

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsOperatorCharacter(char c) { return c != '\0' && kOperatorCharacters.find(c) != std::string_view::npos; }
bool IsWordCharacter(char c) { return !IsBlank(c) && !IsOperatorCharacter(c); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameCharacter(char c) {
  return IsDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

struct Keyword {
  std::string_view text;
  TokenCode code;
};

constexpr Keyword kKeywords[] = {
    {"if", TOK_IF},       {"else", TOK_ELSE},   {"switch", TOK_SWITCH},     {"case", TOK_CASE},
    {"default", TOK_DEFAULT}, {"while", TOK_WHILE}, {"do", TOK_DO},         {"for", TOK_FOR},
    {"break", TOK_BREAK}, {"continue", TOK_CONTINUE}, {"goto", TOK_GOTO},   {"return", TOK_RETURN},
};

// After these a "+" or "-" is infix; anywhere else it is unary.
bool EndsOperand(std::uint16_t code) {
  switch (code) {
    case TOK_NAME: case TOK_VALUE: case TOK_VARSLOT: case TOK_GROUP_CLOSE:
    case TOK_INDEX_CLOSE: case TOK_CALL_CLOSE: case TOK_MEMBER:
      return true;
    default:
      return false;
  }
}

// The "=" form of an operator (compound assignment, "<=", ">=", "!="), or 0.
std::uint16_t AssignmentForm(std::uint16_t code) {
  switch (code) {
    case TOK_NOT: return TOK_NE;
    case TOK_LT: return TOK_LE;
    case TOK_GT: return TOK_GE;
    case TOK_BITAND: return TOK_AND_ASSIGN;
    case TOK_BITXOR: return TOK_XOR_ASSIGN;
    case TOK_BITOR: return TOK_OR_ASSIGN;
    case TOK_ADD: case TOK_PLUS: return TOK_ADD_ASSIGN;
    case TOK_SUB: case TOK_NEG: return TOK_SUB_ASSIGN;
    case TOK_MUL: return TOK_MUL_ASSIGN;
    case TOK_DIV: return TOK_DIV_ASSIGN;
    case TOK_MOD: return TOK_MOD_ASSIGN;
    case TOK_SHL: return TOK_SHL_ASSIGN;
    case TOK_SHR: return TOK_SHR_ASSIGN;
    default: return 0;
  }
}

std::uint16_t DoubledCode(char c) {
  switch (c) {
    case '&': return TOK_ANDAND;
    case '|': return TOK_OROR;
    case '+': return TOK_INC;
    case '-': return TOK_DEC;
    case '<': return TOK_SHL;
    case '>': return TOK_SHR;
    case '=': return TOK_EQ;
    default: return 0;
  }
}

std::uint16_t SingleCode(char c) {
  switch (c) {
    case '!': return TOK_NOT;
    case '%': return TOK_MOD;
    case '&': return TOK_BITAND;
    case '*': return TOK_MUL;
    case '/': return TOK_DIV;
    case '<': return TOK_LT;
    case '=': return TOK_ASSIGN;
    case '>': return TOK_GT;
    case '^': return TOK_BITXOR;
    case '|': return TOK_BITOR;
    case '~': return TOK_COMPL;
    case '+': return TOK_ADD;
    case '-': return TOK_SUB;
    default: return 0;
  }
}

// Tokens that were partnered after their opener: walking back meets them
// first and jumps to the opener.
bool IsCloser(std::uint16_t code) {
  return code == TOK_GROUP_CLOSE || code == TOK_CALL_CLOSE || code == TOK_INDEX_CLOSE ||
         code == TOK_BLOCK_CLOSE || code == TOK_COND_COLON;
}

void Pair(Token* open, Token* close) {
  open->partner = close;
  close->partner = open;
}

// The counts and the lists of one function being tokenized.
struct FunctionDef {
  std::int32_t braces = 0, calls = 0, groups = 0, brackets = 0, questions = 0;
  std::string name;
  Token* first = nullptr;  // the "{" of the body; for the global code the program's first token
  Token* tail = nullptr;   // the last token of the list, where the next one goes
  const SourceRecord* file = nullptr;  // the file the definition started in
  bool registered = false;
};

class Tokenizer {
 public:
  explicit Tokenizer(Context& context) : context_(context) {}
  ~Tokenizer();
  bool Run(std::string& sourceOrCode, bool isFile);

 private:
  SourceRecord& Top() { return *stack_.back(); }
  const SourceRecord* CurrentFile() const;
  bool OpenMain(std::string& sourceOrCode, bool isFile);
  void Push(std::unique_ptr<SourceRecord> source);
  void AdvanceLine();
  void PopSource();
  void NotePosition();

  Token* Emit(std::uint16_t code);
  void EmitFileMarker(const char* fileName);
  void EmitLineMarker(std::uint32_t line);
  Token* PreviousSignificant() const;
  // Reports [id] (the first error of the load wins) and stops the pass.
  template <typename... Args>
  void Fail(Message<Args...> message, Args... args) {
    RaiseError(context_, message, args...);
    ok_ = false;
  }

  void ScanAt();
  void ScanComment();
  void ScanOperator();
  void ScanArithmetic(char c, char next);
  void ScanWord();
  void ScanNumber();
  void ScanQuoted();
  void AddLiteral(const std::string& bytes, char delimiter);
  bool JoinLiteral(Token* previous, const std::string& bytes, bool isString);
  void ScanDirective();
  void Include(std::size_t argumentStart);
  void DefineMacro(std::size_t argumentStart);

  void OpenParenthesis();
  void CloseParenthesis();
  void CloseBracket();
  void OpenBrace();
  void CloseBrace();
  void Colon();
  Token* FindOpener(std::uint16_t code1, std::uint16_t code2);

  void StartFunction(Token* brace);
  void CheckParameters(Token* callOpen, Token* callClose);
  void FinishFunction(FunctionDef& function);
  void Finish();

  Context& context_;
  FilesRead files_;
  std::vector<std::unique_ptr<SourceRecord>> stack_;
  FunctionDef global_;
  std::unique_ptr<FunctionDef> function_;
  FunctionDef* current_ = &global_;
  int commentDepth_ = 0;
  std::size_t expandedBytes_ = 0;  // macro text expanded since the last line of a file
  bool ok_ = true;
};

Tokenizer::~Tokenizer() {
  if (function_ && !function_->registered) DestroyTokenList(function_->first);
  if (!global_.registered) DestroyTokenList(global_.first);
}

// ===================================================================
// The source stack
// ===================================================================

const SourceRecord* Tokenizer::CurrentFile() const {
  for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
    if (!(*it)->isMacro) return it->get();
  }
  return nullptr;
}

bool Tokenizer::OpenMain(std::string& sourceOrCode, bool isFile) {
  std::unique_ptr<SourceRecord> source;
  if (isFile) {
    source = OpenSource(context_, sourceOrCode, nullptr, files_);
    if (!source) return false;
    sourceOrCode = source->fileName;
  } else {
    source = OpenTextSource(sourceOrCode, nullptr);
    ReadLine(*source);
  }
  stack_.push_back(std::move(source));
  return true;
}

void Tokenizer::Push(std::unique_ptr<SourceRecord> source) {
  EmitFileMarker(source->fileName);
  EmitLineMarker(source->lineNumber);
  stack_.push_back(std::move(source));
  NotePosition();
}

// Every line read passes here: a NUL byte in it would hide the rest of the
// line from a reader of the file, so it is refused.
void Tokenizer::NotePosition() {
  context_.loadFile = Top().fileName;
  context_.loadLine = Top().lineNumber;
  if (Top().holdsNul) Fail(MSG_1008);
  if (Top().tooLong) Fail(MSG_1010, static_cast<int>(kMaxSourceLine));
}

void Tokenizer::AdvanceLine() {
  if (ReadLine(Top())) {
    if (!Top().isMacro) expandedBytes_ = 0;
    EmitLineMarker(Top().lineNumber);
    NotePosition();
    return;
  }
  PopSource();
}

// Leaving a file for its includer ends what the file opened: a comment or a
// function definition must close in the file that opened it.
void Tokenizer::PopSource() {
  const SourceRecord* closing = stack_.back().get();
  if (!closing->isMacro && stack_.size() > 1) {
    if (commentDepth_ > 0) return Fail(MSG_1003);
    if (current_ != &global_ && current_->file == closing) return Fail(MSG_1402, current_->name.c_str());
  }
  const char* fileBefore = closing->fileName;
  stack_.pop_back();
  if (stack_.empty()) return;
  if (Top().fileName != fileBefore) EmitFileMarker(Top().fileName);
  EmitLineMarker(Top().lineNumber);
  NotePosition();
}

// ===================================================================
// Emitting tokens
// ===================================================================

Token* Tokenizer::Emit(std::uint16_t code) {
  Token* token = InsertAfter(current_->tail);
  token->code = code;
  current_->tail = token;
  return token;
}

void Tokenizer::EmitFileMarker(const char* fileName) {
  Token* marker = Emit(TOK_FILE);
  if (fileName != nullptr) marker->data.text = CopyText(fileName, static_cast<std::uint32_t>(std::strlen(fileName)));
}

void Tokenizer::EmitLineMarker(std::uint32_t line) {
  Token* marker = current_->tail->code == TOK_LINE ? current_->tail : Emit(TOK_LINE);
  marker->data.line = line;
}

Token* Tokenizer::PreviousSignificant() const {
  Token* token = current_->tail;
  while (token != nullptr && IsMarker(token->code)) token = token->prev;
  return token;
}

// ===================================================================
// The pass
// ===================================================================

bool Tokenizer::Run(std::string& sourceOrCode, bool isFile) {
  context_.loading = true;
  context_.loadFile = nullptr;
  context_.loadLine = 0;
  if (!OpenMain(sourceOrCode, isFile)) return false;
  global_.name = std::string(kGlobalInitName);
  global_.first = InsertAfter(nullptr);
  global_.first->code = TOK_BLOCK_OPEN;
  global_.tail = global_.first;
  global_.braces = 1;
  EmitFileMarker(Top().fileName);
  EmitLineMarker(Top().lineNumber);
  NotePosition();
  while (ok_ && !stack_.empty()) {
    if (Top().position >= Top().line.size()) {
      AdvanceLine();
    } else {
      ScanAt();
    }
  }
  if (ok_) Finish();
  return ok_;
}

void Tokenizer::ScanAt() {
  const std::string& line = Top().line;
  std::size_t& position = Top().position;
  char c = line[position];
  char next = position + 1 < line.size() ? line[position + 1] : '\0';
  if (commentDepth_ > 0) return ScanComment();
  if (IsBlank(c)) {
    ++position;
  } else if (c == '/' && next == '/') {
    position = line.size();
  } else if (c == '/' && next == '*') {
    commentDepth_ = 1;
    position += 2;
  } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
    ScanNumber();
  } else if (c == '"' || c == '\'' || c == '`') {
    ScanQuoted();
  } else if (c == '#') {
    ScanDirective();
  } else if (IsOperatorCharacter(c)) {
    ScanOperator();
  } else {
    ScanWord();
  }
}

// Comments nest; inside one only "/*" and "*/" mean anything.
void Tokenizer::ScanComment() {
  const std::string& line = Top().line;
  std::size_t& position = Top().position;
  if (line.compare(position, 2, "/*") == 0) {
    ++commentDepth_;
    position += 2;
  } else if (line.compare(position, 2, "*/") == 0) {
    --commentDepth_;
    position += 2;
  } else {
    ++position;
  }
}

void Tokenizer::Finish() {
  if (commentDepth_ > 0) return Fail(MSG_1003);
  if (current_ != &global_) return Fail(MSG_1402, current_->name.c_str());
  Token* close = Emit(TOK_BLOCK_CLOSE);
  Pair(global_.first, close);
  --global_.braces;
  FinishFunction(global_);
}

// ===================================================================
// Operators and brackets
// ===================================================================

void Tokenizer::ScanOperator() {
  const std::string& line = Top().line;
  std::size_t& position = Top().position;
  char c = line[position];
  char next = position + 1 < line.size() ? line[position + 1] : '\0';
  switch (c) {
    case '(': ++position; return OpenParenthesis();
    case ')': ++position; return CloseParenthesis();
    case '[': ++position; Emit(TOK_INDEX_OPEN); ++current_->brackets; return;
    case ']': ++position; return CloseBracket();
    case '{': ++position; return OpenBrace();
    case '}': ++position; return CloseBrace();
    case ':': ++position; return Colon();
    case ';': ++position; Emit(TOK_SEMI); return;
    case ',': ++position; Emit(TOK_COMMA); return;
    case '.': ++position; Emit(TOK_MEMBER); return;
    case '?': ++position; Emit(TOK_QUESTION); ++current_->questions; return;
    default: return ScanArithmetic(c, next);
  }
}

void Tokenizer::ScanArithmetic(char c, char next) {
  const std::string& line = Top().line;
  std::size_t& position = Top().position;
  std::uint16_t code;
  if (next == c && DoubledCode(c) != 0) {
    code = DoubledCode(c);
    position += 2;
  } else {
    if (c == '*' && next == '/') return Fail(MSG_1002);
    code = SingleCode(c);
    if (code == TOK_ADD || code == TOK_SUB) {
      Token* previous = PreviousSignificant();
      bool infix = previous != nullptr && EndsOperand(previous->code);
      if (!infix) code = code == TOK_ADD ? TOK_PLUS : TOK_NEG;
    }
    position += 1;
  }
  if (position < line.size() && line[position] == '=' && AssignmentForm(code) != 0) {
    code = AssignmentForm(code);
    ++position;
  }
  Emit(code);
}

// A "(" right after a name makes the name a call (or a definition).
void Tokenizer::OpenParenthesis() {
  Token* previous = PreviousSignificant();
  if (previous != nullptr && previous->code == TOK_NAME) {
    previous->code = TOK_CALL_OPEN;
    ++current_->calls;
  } else {
    Emit(TOK_GROUP_OPEN);
    ++current_->groups;
  }
}

// The nearest unpartnered token of either code, walking back over partnered
// pairs; null when the function's first token is reached first.
Token* Tokenizer::FindOpener(std::uint16_t code1, std::uint16_t code2) {
  for (Token* at = current_->tail; at != nullptr; at = at->prev) {
    if (at->partner != nullptr && IsCloser(at->code)) {
      at = at->partner;
    } else if (at->partner == nullptr && (at->code == code1 || at->code == code2)) {
      if (at != current_->first || current_ != &global_) return at;
    }
    if (at == current_->first) return nullptr;
  }
  return nullptr;
}

void Tokenizer::CloseParenthesis() {
  Token* open = FindOpener(TOK_GROUP_OPEN, TOK_CALL_OPEN);
  if (open == nullptr) return Fail(MSG_1103, current_->name.c_str());
  if (open->code == TOK_GROUP_OPEN) {
    Pair(open, Emit(TOK_GROUP_CLOSE));
    --current_->groups;
    return;
  }
  Token* close = Emit(TOK_CALL_CLOSE);
  Pair(open, close);
  --current_->calls;
  for (Token* at = open->next; at != close; at = at->next) {
    if (at->partner != nullptr && !IsCloser(at->code)) {
      at = at->partner;  // commas of nested pairs belong to them
    } else if (at->code == TOK_COMMA) {
      at->code = TOK_ARG_COMMA;
    }
  }
}

void Tokenizer::CloseBracket() {
  Token* open = FindOpener(TOK_INDEX_OPEN, TOK_INDEX_OPEN);
  if (open == nullptr) return Fail(MSG_1104, current_->name.c_str());
  Pair(open, Emit(TOK_INDEX_CLOSE));
  --current_->brackets;
}

// At the global code's top level, a "{" after the ")" of a call that starts a
// statement begins a function definition.
void Tokenizer::OpenBrace() {
  Token* previous = PreviousSignificant();
  Token* brace = Emit(TOK_BLOCK_OPEN);
  if (current_ == &global_ && global_.braces == 1 && previous != nullptr &&
      previous->code == TOK_CALL_CLOSE) {
    Token* beforeName = PrevSignificant(previous->partner);
    if (beforeName == nullptr || beforeName->code < TOK_IF || beforeName->code == TOK_MEMBER) {
      return StartFunction(brace);
    }
  }
  ++current_->braces;
}

void Tokenizer::CloseBrace() {
  Token* open = FindOpener(TOK_BLOCK_OPEN, TOK_BLOCK_OPEN);
  if (open == nullptr) return Fail(MSG_1102, current_->name.c_str());
  Pair(open, Emit(TOK_BLOCK_CLOSE));
  --current_->braces;
  if (open == current_->first) FinishFunction(*current_);
}

// A colon is a label's, a case's, or the second half of a conditional.
void Tokenizer::Colon() {
  Token* previous = PreviousSignificant();
  if (previous != nullptr && previous->code == TOK_NAME) {
    Token* before = PrevSignificant(previous);
    if (before != nullptr && (before->code <= 0x0014 || before->code == TOK_MEMBER)) {
      previous->code = TOK_LABEL;
      return;
    }
  }
  if (previous != nullptr && previous->code == TOK_DEFAULT) {
    Emit(TOK_CASE_COLON);
    return;
  }
  if (previous != nullptr && previous->code == TOK_CASE) return Fail(MSG_1201, current_->name.c_str());
  Token* found = nullptr;
  for (Token* at = current_->tail; at != nullptr && at != current_->first && at->code != TOK_SEMI;
       at = at->prev) {
    if (at->partner != nullptr && IsCloser(at->code)) {
      at = at->partner;
    } else if ((at->code == TOK_QUESTION && at->partner == nullptr) || at->code == TOK_CASE) {
      found = at;
      break;
    }
  }
  if (found == nullptr || found == previous) return Fail(MSG_1202, current_->name.c_str());
  if (found->code == TOK_QUESTION) {
    Pair(found, Emit(TOK_COND_COLON));
    --current_->questions;
  } else {
    Emit(TOK_CASE_COLON);
  }
}

// ===================================================================
// Words, numbers and literals
// ===================================================================

void Tokenizer::ScanWord() {
  SourceRecord& top = Top();
  std::size_t end = top.position;
  while (end < top.line.size() && IsWordCharacter(top.line[end])) ++end;
  std::string word = top.line.substr(top.position, end - top.position);
  top.position = end;
  for (const Keyword& keyword : kKeywords) {
    if (EqualsIgnoreCase(word, keyword.text)) {
      Emit(keyword.code);
      return;
    }
  }
  if (const std::string* replacement = context_.defines->Lookup(word)) {
    int nesting = 0;
    for (const auto& source : stack_) nesting += source->isMacro ? 1 : 0;
    if (nesting >= kMaxMacroNesting) return Fail(MSG_1007, word.c_str());
    // Macros that use each other twice double at every level: what one line
    // of the file expands to is bounded.
    expandedBytes_ += replacement->size() + 1;
    if (expandedBytes_ > kMaxExpansion) return Fail(MSG_1009, word.c_str(), static_cast<int>(kMaxExpansion));
    auto source = OpenTextSource(*replacement, &top);
    ReadLine(*source);
    stack_.push_back(std::move(source));
    return;
  }
  Token* previous = PreviousSignificant();
  if (previous != nullptr && (previous->code == TOK_GOTO || previous->code == TOK_MEMBER) &&
      previous->data.text == nullptr) {
    previous->data.text = CopyText(word.data(), static_cast<std::uint32_t>(word.size()));
    return;
  }
  Emit(TOK_NAME)->data.text = CopyText(word.data(), static_cast<std::uint32_t>(word.size()));
}

void Tokenizer::ScanNumber() {
  SourceRecord& top = Top();
  NumberLiteral number = ParseNumber(std::string_view(top.line).substr(top.position));
  // A number runs into a name ("0x", "1e", "0x1g", "1.5f"): no part of it may
  // quietly become a name of its own.
  std::size_t end = top.position + number.length;
  if (end < top.line.size() && IsNameCharacter(top.line[end])) {
    while (end < top.line.size() && IsNameCharacter(top.line[end])) ++end;
    return Fail(MSG_1011, top.line.substr(top.position, end - top.position).c_str());
  }
  top.position += number.length;
  Emit(TOK_VALUE)->data.value = number.isFloat ? NewFloatVar(number.real) : NewIntVar(number.integer);
}

void Tokenizer::ScanQuoted() {
  SourceRecord& top = Top();
  std::string_view rest = std::string_view(top.line).substr(top.position);
  std::optional<QuotedLiteral> literal = ParseQuoted(rest);
  if (!literal) return Fail(MSG_1105, rest[0], std::string(rest).c_str());
  top.position += literal->length;
  AddLiteral(literal->bytes, rest[0]);
}

// A double-quoted or back-quoted literal is a string; a single-quoted one is a
// byte, or an array of bytes without terminator. Adjacent literals join.
void Tokenizer::AddLiteral(const std::string& bytes, char delimiter) {
  bool isString = delimiter != '\'';
  if (!isString && bytes.empty()) return;  // '' stands for no value at all
  Token* previous = PreviousSignificant();
  if (previous != nullptr && previous->code == TOK_VALUE && JoinLiteral(previous, bytes, isString)) return;
  Var* value;
  if (!isString && bytes.size() == 1) {
    value = NewByteVar(static_cast<std::uint8_t>(bytes[0]));
  } else {
    value = NewByteArrayVar(bytes.data(), static_cast<std::uint32_t>(bytes.size()), isString);
    value->literal = 1;
  }
  Emit(TOK_VALUE)->data.value = value;
}

bool Tokenizer::JoinLiteral(Token* previous, const std::string& bytes, bool isString) {
  VarData* data = previous->data.value->data;
  if (data->type != KEL_BYTE || data->dimension > 1) return false;
  std::string joined;
  if (data->dimension == 0) {
    joined += static_cast<char>(data->payload.byteValue);
    isString = true;  // a single character becomes a one-character string first
  } else {
    std::uint32_t count = data->elemCount - (data->isString ? 1 : 0);
    joined.append(reinterpret_cast<const char*>(ByteElements(data)), count);
    isString = isString || data->isString;
  }
  joined += bytes;
  Var* value = NewByteArrayVar(joined.data(), static_cast<std::uint32_t>(joined.size()), isString);
  value->literal = 1;
  ReleaseVar(previous->data.value);
  previous->data.value = value;
  return true;
}

// ===================================================================
// Preprocessor directives
// ===================================================================

void Tokenizer::ScanDirective() {
  SourceRecord& top = Top();
  const std::string& line = top.line;
  std::size_t start = top.position;
  std::size_t wordEnd = start + 1;
  while (wordEnd < line.size() && line[wordEnd] != ' ' && line[wordEnd] != '\t') ++wordEnd;
  std::string_view word = std::string_view(line).substr(start + 1, wordEnd - start - 1);
  bool isInclude = EqualsIgnoreCase(word, "include");
  bool isDefine = EqualsIgnoreCase(word, "define");
  if ((!isInclude && !isDefine) || wordEnd >= line.size()) {
    return Fail(MSG_1001, line.substr(start).c_str());
  }
  std::size_t argumentStart = line.find_first_not_of(" \t", wordEnd);
  if (argumentStart == std::string::npos) argumentStart = line.size();
  if (isInclude) {
    Include(argumentStart);
  } else {
    DefineMacro(argumentStart);
  }
}

// #include "name[,extension[,prefix[,begin marker[,end marker]]]]"
void Tokenizer::Include(std::size_t argumentStart) {
  SourceRecord& includer = Top();
  std::string_view rest = std::string_view(includer.line).substr(argumentStart);
  if (rest.empty() || (rest[0] != '"' && rest[0] != '\'' && rest[0] != '<')) return Fail(MSG_1004);
  char closing = rest[0] == '<' ? '>' : rest[0];
  std::size_t close = rest.find(closing, 1);
  if (close == std::string_view::npos) return Fail(MSG_1005, closing);
  std::string_view inner = rest.substr(1, close - 1);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = inner.find(',', start);
    fields.emplace_back(inner.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() > 5) return Fail(MSG_1006);
  fields.resize(5);
  includer.position = argumentStart + close + 1;

  std::string fileName = fields[1].empty() ? fields[0] : fields[0] + "." + fields[1];
  std::unique_ptr<SourceRecord> source = OpenSource(context_, fileName, &includer, files_);
  if (!source) {
    ok_ = false;
    return;
  }
  if (source->ended) return;  // read once already in this load
  if (!fields[2].empty()) source->prefix = fields[2];
  if (!fields[3].empty()) source->beginMarker = fields[3];
  if (!fields[4].empty()) source->endMarker = fields[4];
  source->skippingToBegin = source->beginMarker.has_value();
  ReadLine(*source);
  Push(std::move(source));
}

// #define NAME replacement: the definition ends at "//" or at a "/*" that does
// not close on the line, and what is cut off stays for the tokenizer.
void Tokenizer::DefineMacro(std::size_t argumentStart) {
  SourceRecord& top = Top();
  const std::string& line = top.line;
  std::string definition;
  std::size_t at = argumentStart;
  while (at < line.size()) {
    char c = line[at];
    if (c == '"') {
      std::size_t end = at + 1;
      while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
      end = std::min(end + 1, line.size());
      definition.append(line, at, end - at);
      at = end;
      continue;
    }
    if (line.compare(at, 2, "//") == 0) break;
    if (line.compare(at, 2, "/*") == 0) {
      std::size_t close = line.find("*/", at + 2);
      if (close == std::string::npos) break;
      definition += ' ';
      at = close + 2;
      continue;
    }
    definition += c;
    ++at;
  }
  top.position = at;
  std::size_t first = definition.find_first_not_of(" \t\n\r");
  if (first == std::string::npos) return;  // an empty definition defines nothing
  std::size_t last = definition.find_last_not_of(" \t\n\r");
  definition = definition.substr(first, last - first + 1);
  std::size_t nameEnd = definition.find_first_of(" \t\n\r");
  if (nameEnd == std::string::npos) {
    context_.defines->Define(definition, std::string_view(" "));
    return;
  }
  std::size_t valueStart = definition.find_first_not_of(" \t\n\r", nameEnd);
  context_.defines->Define(std::string_view(definition).substr(0, nameEnd),
                           std::string_view(definition).substr(valueStart));
}

// ===================================================================
// Function definitions
// ===================================================================

// Detaches the name, the parameter list and the body from the global stream
// into a list of the function's own.
void Tokenizer::StartFunction(Token* brace) {
  Token* callClose = PrevSignificant(brace);
  Token* callOpen = callClose->partner;
  std::uint32_t line = 0;
  for (Token* at = callOpen->prev; at != nullptr; at = at->prev) {
    if (at->code == TOK_LINE) {
      line = at->data.line;
      break;
    }
  }
  Token* before = callOpen->prev;
  before->next = nullptr;
  callOpen->prev = nullptr;
  global_.tail = before;

  function_ = std::make_unique<FunctionDef>();
  function_->name = callOpen->data.text;
  function_->first = brace;
  function_->tail = brace;
  function_->braces = 1;
  function_->file = CurrentFile();
  current_ = function_.get();
  if (Top().fileName != nullptr) {
    Token* fileMarker = InsertAfter(nullptr);
    fileMarker->code = TOK_FILE;
    fileMarker->data.text = CopyText(Top().fileName, static_cast<std::uint32_t>(std::strlen(Top().fileName)));
    Token* lineMarker = InsertAfter(fileMarker);
    lineMarker->code = TOK_LINE;
    lineMarker->data.line = line;
    lineMarker->next = callOpen;
    callOpen->prev = lineMarker;
  }
  CheckParameters(callOpen, callClose);
}

// Parameters are plain names with a lowercase letter, separated by commas;
// the commas go, the names stay.
void Tokenizer::CheckParameters(Token* callOpen, Token* callClose) {
  Token* at = NextSignificant(callOpen);
  if (at == callClose) return;
  for (int position = 1;; ++position) {
    if (at == callClose || at->code != TOK_NAME || !HasLowercaseLetter(at->data.text)) {
      return Fail(MSG_1401, position, current_->name.c_str());
    }
    Token* after = NextSignificant(at);
    if (after == callClose) return;
    if (after->code != TOK_ARG_COMMA) return Fail(MSG_1401, position, current_->name.c_str());
    at = NextSignificant(after);
    DestroyToken(after);
  }
}

void Tokenizer::FinishFunction(FunctionDef& function) {
  struct Count {
    std::int32_t FunctionDef::*count;
    MessageId word;
    char open, close;
  };
  static constexpr Count kCounts[] = {
      {&FunctionDef::braces, MSG_WORD_BLOCK, '{', '}'},
      {&FunctionDef::calls, MSG_WORD_CALL, '(', ')'},
      {&FunctionDef::groups, MSG_WORD_GROUPING, '(', ')'},
      {&FunctionDef::brackets, MSG_WORD_ARRAY, '[', ']'},
      {&FunctionDef::questions, MSG_WORD_CONDITIONAL, '?', ':'},
  };
  for (const Count& count : kCounts) {
    if (function.*count.count != 0) {
      return Fail(MSG_1101, MessageText(count.word), count.open, function.name.c_str(), count.close);
    }
  }
  context_.functions->Define(function.name, function.first);
  function.registered = true;
  if (&function != &global_) {
    function_.reset();
    current_ = &global_;
  }
}

}  // namespace

bool Tokenize(Context& context, std::string& sourceOrCode, bool isFile) {
  Tokenizer tokenizer(context);
  bool ok = tokenizer.Run(sourceOrCode, isFile);
  context.loading = false;
  return ok;
}

}  // namespace kel
