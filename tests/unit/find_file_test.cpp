// The file search shared by the loader and the command search.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "front/source.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kel-find-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(root_ / "one");
    fs::create_directories(root_ / "two");
    fs::create_directories(root_ / "two" / "tool.kel");  // a directory is never a hit
    std::ofstream(root_ / "one" / "prog.kel") << "x";
    std::ofstream(root_ / "two" / "prog.kel") << "x";
    std::ofstream(root_ / "two" / "tool.exe") << "x";
    std::ofstream(root_ / "two" / "lib.kel") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string List(std::initializer_list<const char*> entries) {
    std::string list;
    for (const char* entry : entries) {
      if (!list.empty()) list += ':';
      list += entry[0] == '\0' ? std::string() : (root_ / entry).string();
    }
    return list;
  }

  fs::path root_;
};

TEST_F(FindFileTest, FirstDirectoryOfTheListWins) {
  auto found = FindFile("prog.kel", List({"one", "two"}), {});
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, (root_ / "one" / "prog.kel").string());
  found = FindFile("lib.kel", List({"", "one", "two"}), {});  // empty entries are skipped
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, (root_ / "two" / "lib.kel").string());
}

TEST_F(FindFileTest, ExtensionsComeFromTheListWhenTheNameHasNone) {
  EXPECT_FALSE(FindFile("prog", List({"one"}), {}));
  auto found = FindFile("tool", List({"two"}), {".kel", ".exe"});
  ASSERT_TRUE(found);  // tool.kel is a directory, so tool.exe is found
  EXPECT_EQ(*found, (root_ / "two" / "tool.exe").string());
  // A name's own extension must be one of the list's.
  EXPECT_FALSE(FindFile("lib.kel", List({"two"}), {".exe"}));
  EXPECT_TRUE(FindFile("lib.kel", List({"two"}), {".KEL"}));  // extensions match in any case
}

TEST_F(FindFileTest, DirectoryPartReplacesTheList) {
  std::string name = (root_ / "two" / "prog.kel").string();
  auto found = FindFile(name, List({"one"}), {});
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, name);
}

TEST_F(FindFileTest, RefusedNames) {
  EXPECT_FALSE(FindFile("", List({"one"}), {}));
  EXPECT_FALSE(FindFile("prog.kel", std::nullopt, {}));
  EXPECT_FALSE(FindFile("p*.kel", List({"one"}), {}));
  EXPECT_FALSE(FindFile("pro?.kel", List({"one"}), {}));
  EXPECT_FALSE(FindFile(".kel", List({"one"}), {}));
  EXPECT_FALSE(FindFile(std::string(300, 'a') + ".kel", List({"one"}), {}));
  // An overlong list entry is skipped, not an overflow.
  EXPECT_TRUE(FindFile("prog.kel", std::string(400, 'x') + ":" + List({"one"}), {}));
}

}  // namespace
}  // namespace kel
