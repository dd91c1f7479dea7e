#pragma once
// Tokens: the nodes of the doubly linked lists that the loader builds, one per
// function, and that the engine walks directly.

#include <cstdint>

namespace kel {

struct Var;
struct FunctionRecord;

// Token kinds. An operator's high byte is its precedence level; the evaluator
// compares levels only.
enum TokenCode : std::uint16_t {
  TOK_FILE = 0x0001,  // marker: the source file name
  TOK_LINE = 0x0002,  // marker: a line number
  TOK_MARKER_RESERVED = 0x0003,
  TOK_EMPTY = 0x0004,
  TOK_NAME = 0x0005,
  TOK_VALUE = 0x0006,
  TOK_VARSLOT = 0x0007,
  TOK_GROUP_CLOSE = 0x0008,
  TOK_INDEX_CLOSE = 0x0009,
  TOK_BLOCK_OPEN = 0x000A,
  TOK_BLOCK_CLOSE = 0x000B,
  TOK_CALL_CLOSE = 0x000C,
  TOK_LABEL = 0x000D,
  TOK_SEMI = 0x000E,
  TOK_BREAK = 0x000F,
  TOK_CONTINUE = 0x0010,
  TOK_GOTO = 0x0011,
  TOK_CASE_COLON = 0x0012,
  TOK_RETURN = 0x0013,
  TOK_IF = 0x0015,
  TOK_ELSE = 0x0016,
  TOK_SWITCH = 0x0017,
  TOK_CASE = 0x0018,
  TOK_DEFAULT = 0x0019,
  TOK_WHILE = 0x001A,
  TOK_DO = 0x001B,
  TOK_FOR = 0x001C,
  TOK_GROUP_OPEN = 0x001D,
  TOK_CALL_OPEN = 0x001E,
  TOK_CALL_RESOLVED = 0x001F,
  TOK_ARG_COMMA = 0x0020,
  TOK_COMMA = 0x0021,
  TOK_COND_COLON = 0x0022,
  TOK_ASSIGN = 0x0101,
  TOK_MUL_ASSIGN = 0x0102,
  TOK_DIV_ASSIGN = 0x0103,
  TOK_MOD_ASSIGN = 0x0104,
  TOK_ADD_ASSIGN = 0x0105,
  TOK_SUB_ASSIGN = 0x0106,
  TOK_AND_ASSIGN = 0x0107,
  TOK_XOR_ASSIGN = 0x0108,
  TOK_OR_ASSIGN = 0x0109,
  TOK_SHL_ASSIGN = 0x010A,
  TOK_SHR_ASSIGN = 0x010B,
  TOK_QUESTION = 0x0201,
  TOK_OROR = 0x0301,
  TOK_ANDAND = 0x0401,
  TOK_BITOR = 0x0501,
  TOK_BITXOR = 0x0601,
  TOK_BITAND = 0x0701,
  TOK_EQ = 0x0801,
  TOK_NE = 0x0802,
  TOK_LT = 0x0901,
  TOK_LE = 0x0902,
  TOK_GT = 0x0903,
  TOK_GE = 0x0904,
  TOK_SHL = 0x0A01,
  TOK_SHR = 0x0A02,
  TOK_ADD = 0x0B01,
  TOK_SUB = 0x0B02,
  TOK_MUL = 0x0C01,
  TOK_DIV = 0x0C02,
  TOK_MOD = 0x0C03,
  TOK_NOT = 0x0D01,
  TOK_COMPL = 0x0D02,
  TOK_PLUS = 0x0D03,
  TOK_NEG = 0x0D04,
  TOK_INC = 0x0D05,
  TOK_DEC = 0x0D06,
  TOK_INDEX_OPEN = 0x0E01,
  TOK_MEMBER = 0x0E02,
};

// The precedence level of an operator code (0 for everything that is not one).
constexpr int TokenLevel(std::uint16_t code) { return code >> 8; }

// The levels the parser names: the binary operators reach up to the
// multiplicative level; prefix operators bind at the unary level; postfix
// "++" and "--", indexing and member access at the postfix level.
constexpr int LEVEL_MULTIPLICATIVE = TokenLevel(TOK_MUL);
constexpr int LEVEL_UNARY = TokenLevel(TOK_NOT);
constexpr int LEVEL_POSTFIX = TokenLevel(TOK_INDEX_OPEN);

struct Token {
  std::uint16_t code;
  std::uint16_t cache;  // facts the engine derives once and keeps with the token
  // The first member is a pointer, so that initializing it sets every byte:
  // a token's text is tested for null before one is given to it.
  union Data {
    char* text;               // owned: file name, identifier, label, goto target, member, call name
    std::uint32_t line;       // TOK_LINE
    Var* value;               // TOK_VALUE
    std::int32_t slot;        // TOK_VARSLOT
    FunctionRecord* function; // TOK_CALL_RESOLVED
  } data;
  Token* prev;
  Token* next;
  Token* partner;
};

// True for the position markers that syntax never sees.
constexpr bool IsMarker(std::uint16_t code) { return code >= TOK_FILE && code <= TOK_MARKER_RESERVED; }

// True for the codes whose data is an owned string.
constexpr bool OwnsText(std::uint16_t code) {
  return code == TOK_FILE || code == TOK_NAME || code == TOK_LABEL || code == TOK_GOTO ||
         code == TOK_CALL_OPEN || code == TOK_MEMBER;
}

// A new TOK_EMPTY token linked in after [after] (or standing alone when null).
Token* InsertAfter(Token* after);

// Unlinks [token] and frees it with what it owns (its text, or its reference
// to a constant value).
void DestroyToken(Token* token);

// Frees the whole list that [token] belongs to, from its first node to its last.
void DestroyTokenList(Token* token);

// A heap copy of [text] for a token to own.
char* CopyText(const char* text, std::uint32_t length);

// True for the codes a loaded token list holds: every code but the markers
// and TOK_EMPTY (the engine's own TOK_CALL_RESOLVED included).
bool IsListCode(std::uint16_t code);

// The text a token stands for in messages, or "UNTRANSLATABLE TOKEN!!".
const char* TokenText(const Token* token);
const char* TokenCodeText(std::uint16_t code);

// The neighbours of [token] that are not markers (null at either end of the
// list).
Token* PrevSignificant(const Token* token);
Token* NextSignificant(const Token* token);

}  // namespace kel
