// The list of messages in docs/messages.md holds every numbered message the
// program prints, text for text, so that the documentation cannot drift.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "base/message_texts.h"

namespace kel {
namespace {

TEST(MessageDocsTest, EveryNumberedMessageIsListedWithItsText) {
  std::ifstream file(std::string(KEL_SOURCE_DIR) + "/docs/messages.md");
  ASSERT_TRUE(file) << "docs/messages.md is missing";
  std::stringstream contents;
  contents << file.rdbuf();
  const std::string docs = contents.str();
  int listed = 0;
  for (const char* text : kMessageTexts) {
    const std::string message = text;
    const bool numbered = message.size() > 5 && std::isdigit(static_cast<unsigned char>(message[0])) &&
                          message.compare(4, 2, ": ") == 0;
    if (!numbered) continue;
    std::string shown;
    for (char c : message) shown += c == '|' ? std::string("\\|") : std::string(1, c);
    EXPECT_NE(docs.find("| " + message.substr(0, 4) + " | `" + shown + "` |"), std::string::npos) << message;
    ++listed;
  }
  EXPECT_GT(listed, 100);
}

}  // namespace
}  // namespace kel
