#pragma once
// The derived form of a function's tokens that the engine runs: each
// statement and expression of the token list, parsed once when the function
// is first called, with the place of every error the token walk would report
// kept as a node of its own. The tokens stay the program; this is a cache of
// what walking them finds.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/flat_code.h"
#include "engine/messages.h"
#include "engine/value.h"

namespace kel {

struct Token;
struct FunctionRecord;
struct CallFrame;
struct PureCode;

enum ExprKind : std::uint8_t {
  EX_NO_VALUE,     // the expression began with a token that is no operand
  EX_ERROR,        // reports [message] once its [left] child (if any) is evaluated
  EX_NUMBER,       // a numeric literal, held as a scalar
  EX_CONSTANT,     // a literal's value (text or byte array), never changed
  EX_VARIABLE,     // a global or environment variable
  EX_LOCAL,        // a local slot
  EX_PARAMETER,    // a parameter, by its position
  EX_CALL,
  EX_PREFIX,       // ! ~ + - ++ -- before an operand
  EX_POSTFIX,      // ++ -- after an operand
  EX_BINARY,       // arithmetic, bitwise, shifts and comparisons
  EX_ASSIGN,       // =
  EX_COMPOUND,     // *= /= %= += -= &= ^= |= <<= >>=
  EX_LOGICAL,      // && ||
  EX_CONDITIONAL,  // ?:
  EX_INDEX,
  EX_MEMBER,
  EX_INITIALIZER,  // = { ... }
  EX_COMMA,
};

// Flags of an expression node.
enum ExprFlags : std::uint8_t {
  EXPR_FORCE_COPY = 0x01,  // an argument written with "=" before it
  EXPR_RAISE_ALWAYS = 0x02,  // an error node raised with RaiseError, not only while running
  EXPR_DISCARDED = 0x04,     // the value is not used (an expression statement)
  EXPR_PURE = 0x08,          // evaluating it changes nothing: no call, assignment or ++
  EXPR_PURITY_KNOWN = 0x10,
  EXPR_WALK_INERT = 0x20,    // walking it (not running) reports nothing
};

struct ExprNode {
  // Its integer value when it is a plain integer (see engine/quick_int.h).
  bool (*quickInt)(CallFrame& frame, const ExprNode* node, std::int32_t& out);
  // Runs it for its effect alone when it has a common plain form (see
  // engine/quick.h); false, having done nothing, otherwise.
  bool (*quickRun)(CallFrame& frame, const ExprNode* node);
  std::uint8_t kind;
  std::uint8_t flags;
  std::uint16_t op;          // the operator's token code
  const Token* token;        // where it stands in the program
  ExprNode* left;            // operand, condition, indexed or member base, error prelude
  ExprNode* right;           // right operand, first branch, index
  ExprNode* third;           // second branch
  ExprNode** items;          // call arguments, initializer elements
  std::uint32_t count;
  std::uint8_t pureHeight;   // levels of the pure subtree it heads (see MarkPure)
  std::uint8_t argumentForm;  // how a call hands it over quickly (see engine/quick_call.h)
  union {
    Scalar number;             // EX_NUMBER
    Var* var;                  // EX_CONSTANT, EX_VARIABLE
    std::int32_t slot;         // EX_LOCAL (from 0), EX_PARAMETER (position from 0)
    const char* name;          // EX_MEMBER (null when missing), EX_CALL
    const char* errorText;     // EX_ERROR: its message, formatted when it was parsed
  };
  FunctionRecord* function;  // EX_CALL: the function found at the first call
  std::uint32_t functionEpoch;  // EX_CALL: the FunctionEpoch it was found in
  // EX_MEMBER: the member found last time, valid while its list keeps its stamp.
  MemberList* cachedList;
  std::uint32_t cachedStamp;
  MemberNode* cachedMember;
};

enum StmtKind : std::uint8_t {
  ST_EXPRESSION,
  ST_BLOCK,
  ST_BLOCK_END,  // the "}" that closes a block
  ST_LABEL,
  ST_BREAK,
  ST_CONTINUE,
  ST_GOTO,
  ST_RETURN,
  ST_IF,
  ST_WHILE,
  ST_DO,
  ST_FOR,
  ST_SWITCH,
  ST_CASE,       // only inside a switch body
  ST_DEFAULT,    // only inside a switch body
  ST_ERROR,      // reports [message] when run or walked
};

struct StmtNode {
  std::uint8_t kind;
  bool flag;                  // ST_DO: "while" missing
  bool walkInert;             // walking it (not running) reports nothing and finds no label
  const Token* token;         // the statement's first token
  ExprNode* expr;             // expression, condition, return value, switch or case value
  StmtNode* body;             // block and loop bodies, if branch
  StmtNode* other;            // else branch, for step
  StmtNode* init;             // for init
  StmtNode** items;           // block and switch statements (a block ends with ST_BLOCK_END)
  std::uint32_t count;
  const char* label;          // ST_LABEL, ST_GOTO (null when missing)
  const char* errorText;      // ST_ERROR: its message, formatted when it was parsed
  ExprNode* test;             // ST_FOR: the test (null when empty)
  std::uint8_t forError;      // ST_FOR: 0 none, 1 after init, 2 after test
};

// The parsed body of one function, owning all its nodes.
class CompiledBody {
 public:
  CompiledBody();
  ~CompiledBody();
  CompiledBody(const CompiledBody&) = delete;
  CompiledBody& operator=(const CompiledBody&) = delete;

  ExprNode* NewExpr(std::uint8_t kind, const Token* token);
  StmtNode* NewStmt(std::uint8_t kind, const Token* token);
  template <typename T>
  T** NewArray(const std::vector<T*>& items) {
    if (items.empty()) return nullptr;
    auto* copy = static_cast<T**>(Allocate(sizeof(T*) * items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) copy[i] = items[i];
    return copy;
  }
  // A copy of [text] that lives as long as the nodes.
  const char* NewText(const std::string& text);

  StmtNode* body = nullptr;  // the function's block
  std::unique_ptr<FlatCode> flat;  // its flat steps, when it has them
  // A pure integer function's register code (see engine/pure_integer.h),
  // and whether a call of it ever had to give that way up.
  std::unique_ptr<PureCode> pure;
  bool pureGaveUp = false;

 private:
  void* Allocate(std::size_t bytes);
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::size_t used_ = 0;
  std::size_t size_ = 0;
};

// Marks [node] and its operands EXPR_PURE where evaluating them changes
// nothing (reading may still grow an array, which the quick paths never do).
// Only a pure subtree of at most kQuickHeight levels is marked: the fast
// paths read such a tree whole, and a longer chain then takes them only near
// its leaves, so that evaluation stays linear in its length.
constexpr int kQuickHeight = 32;
void MarkPure(ExprNode* node);

// The machine stack the compiler and the evaluator keep free below them:
// nesting deeper than that ends in 8000.
constexpr std::size_t kStackGuard = 64 * 1024;

// Parses the body of [function] (its names already bound).
std::unique_ptr<CompiledBody> CompileFunction(const FunctionRecord& function);

}  // namespace kel
