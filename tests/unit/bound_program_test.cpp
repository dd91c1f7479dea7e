// Bound program data: the digest it carries, a program written and read back
// token for token, and data cut short or changed at random refused or loaded
// without harm.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/token.h"
#include "engine/value.h"
#include "front/bound_program.h"
#include "front/tokenizer.h"
#include "test_host.h"

namespace kel {
namespace {

TEST(Sha256Test, MatchesTheStandardsExamples) {
  EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(twoBlocks.data(), twoBlocks.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 pieces;  // a million bytes, added in uneven pieces
  const std::string a(1000, 'a');
  for (int i = 0; i < 1000; ++i) pieces.Update(a.data(), 999);
  pieces.Update(a.data(), 1000);
  EXPECT_EQ(pieces.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A program with every kind of token payload: names of functions, members,
// labels and goto targets, literals of every kind, globals, an environment
// variable, local and parameter slots, every bracket and a conditional.
constexpr const char* kProgram =
    "#define TWICE(x) ((x) * 2)\n"
    "total = 0; text = \"a\\0b\"; bytes = 'xyz'; one = 'q'; real = 2.5e-3; BOUND_TEST_VAR = 7;\n"
    "add(a, b) { s.sum = a + b; return s.sum; }\n"
    "main(argc, argv) {\n"
    "  list[3] = {1, 2, 3};\n"
    "  for (i = 0; i < 3; i++) total += add(i, TWICE(i)) > 2 ? i : -i;\n"
    "  switch (total) { case 1: break; default: goto done; }\n"
    "  done: return BOUND_TEST_VAR;\n"
    "}\n";

class BoundProgramTest : public ::testing::Test {
 protected:
  // The program data of [code], bound and written as the binder writes it.
  std::string DataOf(const std::string& code) {
    Context context(&host_);
    std::string text = code;
    EXPECT_TRUE(Tokenize(context, text, false)) << host_.errors;
    std::string data;
    const char* limit = nullptr;
    EXPECT_TRUE(MakeBoundProgramData(context, data, limit)) << host_.errors;
    EXPECT_EQ(limit, nullptr);
    return data;
  }

  // Loads [data] into a fresh context and, when it loads, compiles every
  // function as its first call would.
  BoundLoad Load(std::string_view data) {
    context_ = std::make_unique<Context>(&host_);
    const BoundLoad result = LoadBoundProgram(*context_, data);
    if (result != BoundLoad::LOADED) {
      EXPECT_EQ(context_->functions->First(), nullptr) << "damaged data registers nothing";
      return result;
    }
    for (FunctionRecord* f = context_->functions->First(); f != nullptr; f = f->next) {
      PrepareFunction(*context_, *f);
    }
    return result;
  }

  TestHost host_;
  std::unique_ptr<Context> context_;
};

// The significant tokens of a function as codes, with each partner's place.
std::vector<std::pair<std::uint16_t, long>> Shape(const FunctionRecord* function) {
  std::vector<const Token*> tokens;
  for (const Token* at = function->body; at != nullptr; at = NextSignificant(at)) tokens.push_back(at);
  std::vector<std::pair<std::uint16_t, long>> shape;
  for (const Token* token : tokens) {
    long partner = -1;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (tokens[i] == token->partner) partner = static_cast<long>(i);
    }
    shape.emplace_back(token->code, partner);
  }
  return shape;
}

TEST_F(BoundProgramTest, ReadsBackWhatWasWritten) {
  Context original(&host_);
  std::string text = kProgram;
  ASSERT_TRUE(Tokenize(original, text, false)) << host_.errors;
  std::string data;
  const char* limit = nullptr;
  ASSERT_TRUE(MakeBoundProgramData(original, data, limit)) << host_.errors;
  EXPECT_TRUE(BoundDataIsIntact(data));
  ASSERT_EQ(Load(data), BoundLoad::LOADED) << host_.errors;
  for (const char* name : {":Global Initialization:", "add", "main"}) {
    const FunctionRecord* written = original.functions->Find(name);
    const FunctionRecord* read = context_->functions->Find(name);
    ASSERT_NE(read, nullptr) << name;
    EXPECT_EQ(read->resolved, 1);
    EXPECT_EQ(read->nameCount, written->nameCount) << name;
    EXPECT_EQ(read->paramCount, written->paramCount) << name;
    EXPECT_EQ(read->names, written->names) << name;
    EXPECT_EQ(Shape(read), Shape(written)) << name;
  }
  // Globals and the environment variable are the run's own again.
  EXPECT_NE(context_->globals->Lookup("total"), nullptr);
  EXPECT_NE(context_->environment->LookupHere("BOUND_TEST_VAR"), nullptr);
}

TEST_F(BoundProgramTest, DataCutShortIsRefused) {
  const std::string data = DataOf(kProgram);
  const std::size_t functionsEnd = data.size() - 66;  // the integrity record follows
  for (std::size_t length = 0; length < data.size(); ++length) {
    const BoundLoad result = Load(std::string_view(data).substr(0, length));
    // Cut before a function or names record, the data is a shorter program:
    // only the integrity record tells.
    const bool betweenRecords = data.compare(length, 2, "\xFF\xFF") == 0 || data.compare(length, 2, "\xFC\xFF") == 0;
    if (length < functionsEnd && !betweenRecords) {
      EXPECT_EQ(result, BoundLoad::DAMAGED) << length;
    }
    EXPECT_FALSE(BoundDataIsIntact(std::string_view(data).substr(0, length)));
  }
}

TEST_F(BoundProgramTest, ChangedBytesAreCaughtOrHarmless) {
  const std::string data = DataOf(kProgram);
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    std::string changed = data;
    const int flips = 1 + round % 3;
    for (int i = 0; i < flips; ++i) {
      changed[random() % changed.size()] = static_cast<char>(random());
    }
    if (changed == data) continue;
    EXPECT_FALSE(BoundDataIsIntact(changed));
    Load(changed);  // refused, or a program that compiles without harm
  }
}

// Data made by hand: a global code "{ ... }" around [tokens].
std::string Handmade(const std::string& tokens, std::uint16_t nameCount = 0) {
  std::string data = "\xFF\xFF";
  data += '\x17';
  data += '\0';
  data += ":Global Initialization:";
  data += static_cast<char>(nameCount & 0xFF);
  data += static_cast<char>(nameCount >> 8);
  data += std::string("\x0A\x00", 2) + tokens;
  return data + "\xFE\xFF";
}

TEST_F(BoundProgramTest, MalformedRecordsAreRefused) {
  const std::string close1("\x0B\x00\x01\x00", 4);  // "}" one step back
  EXPECT_EQ(Load(Handmade(close1)), BoundLoad::LOADED);
  EXPECT_EQ(Load(Handmade(std::string("\x0B\x00\x05\x00", 4))), BoundLoad::DAMAGED) << "distance leaves the list";
  EXPECT_EQ(Load(Handmade(std::string("\x0B\x00\x00\x00", 4))), BoundLoad::DAMAGED) << "distance 0";
  EXPECT_EQ(Load(Handmade(std::string("\x1D\x00\x0B\x00\x02\x00", 6))), BoundLoad::DAMAGED) << "crossed pairs";
  EXPECT_EQ(Load(Handmade(std::string("\x22\x00", 2) + close1)), BoundLoad::DAMAGED) << "':' without '?'";
  EXPECT_EQ(Load(Handmade(std::string("\x34\x12", 2) + close1)), BoundLoad::DAMAGED) << "unknown code";
  EXPECT_EQ(Load(Handmade(std::string("\x02\x00", 2) + close1)), BoundLoad::DAMAGED) << "a marker";
  EXPECT_EQ(Load(Handmade(close1 + std::string("\x0E\x00", 2))), BoundLoad::DAMAGED) << "after the last '}'";
  EXPECT_EQ(Load(Handmade(std::string("\x07\x00\x02\x00", 4) + close1, 2)), BoundLoad::DAMAGED) << "slot 2 of 2";
  EXPECT_EQ(Load(Handmade(std::string("\x07\x00\x01\x00", 4) + std::string("\x0B\x00\x02\x00", 4), 2)),
            BoundLoad::LOADED);
  EXPECT_EQ(Load(Handmade(std::string("\x06\x00\xFC\x00\xFF\xFF", 6) + close1)), BoundLoad::DAMAGED)
      << "a string longer than the data";
  EXPECT_EQ(Load(Handmade(std::string("\x06\x00\x07\x00", 4) + close1)), BoundLoad::DAMAGED) << "unknown tag";
  EXPECT_EQ(Load(Handmade(std::string("\x06\x00\xFB\x00\x01\x00X", 7) + close1)), BoundLoad::DAMAGED)
      << "a global named as an environment variable";
  // The names record: a parameter count and every name, in hexadecimal.
  const std::string slot0 = std::string("\x07\x00\x00\x00", 4) + std::string("\x0B\x00\x02\x00", 4);
  EXPECT_EQ(Load(Handmade(slot0, 1) + "\xFC\xFF" "0000" "0001" "78"), BoundLoad::LOADED);
  EXPECT_EQ(context_->functions->Find(":Global Initialization:")->names, std::vector<std::string>{"x"});
  EXPECT_EQ(Load(Handmade(slot0, 1) + "\xFC\xFF" "0001" "0001" "78"), BoundLoad::DAMAGED) << "slot 0 a parameter";
  EXPECT_EQ(Load(Handmade(slot0, 1) + "\xFC\xFF" "0000" "0002" "78"), BoundLoad::DAMAGED) << "name cut short";
  EXPECT_EQ(Load(Handmade(slot0, 1) + "\xFC\xFF" "0000" "0001" "7G"), BoundLoad::DAMAGED) << "not a digit";
  std::string noGlobal = Handmade(close1);
  noGlobal[4] = 'x';  // the function is no longer the global code
  EXPECT_EQ(Load(noGlobal), BoundLoad::DAMAGED);
  EXPECT_EQ(Load(std::string("\x01\x02\x03\x04", 4) + Handmade(close1)), BoundLoad::LOADED) << "other words skipped";
}

}  // namespace
}  // namespace kel
