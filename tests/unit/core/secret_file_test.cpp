// Tokens read from a file: what is kept of the contents and which files are refused.
#include "core/secret_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

class TokenFile : public ::testing::Test {
 protected:
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("ger-token-" + std::to_string(getpid()) + ".txt"))
          .string();
  void Write(const std::string& contents, mode_t mode) {
    std::filesystem::remove(path_);
    std::ofstream(path_, std::ios::binary) << contents;
    ::chmod(path_.c_str(), mode);
  }
  std::string Refusal() {
    try {
      ger::ReadTokenFile(path_);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "(read)";
  }
  void TearDown() override { std::filesystem::remove(path_); }
};

TEST_F(TokenFile, KeepsTheContentsWithoutTheTrailingLineBreak) {
  Write("abc def-123\n", 0600);
  EXPECT_EQ(ger::ReadTokenFile(path_), "abc def-123");
  Write("abc\r\n", 0400);
  EXPECT_EQ(ger::ReadTokenFile(path_), "abc");
  Write("abc", 0600);
  EXPECT_EQ(ger::ReadTokenFile(path_), "abc");
  // Only one line break goes: an empty second line is not a token.
  Write("abc\n\n", 0600);
  EXPECT_NE(Refusal().find("control character"), std::string::npos);
}

TEST_F(TokenFile, RefusesFilesOthersCanReadAndUnusableContents) {
  Write("secret\n", 0640);
  EXPECT_EQ(Refusal(), "the token file " + path_ +
                           " can be read by other users (mode 0640); make it readable by its "
                           "owner only (chmod 600)");
  Write("secret\n", 0604);
  EXPECT_NE(Refusal().find("mode 0604"), std::string::npos);
  Write("\n", 0600);
  EXPECT_NE(Refusal().find("the token is empty"), std::string::npos);
  Write("one\ntwo\n", 0600);
  EXPECT_NE(Refusal().find("control character"), std::string::npos);
  Write(std::string(5000, 'a'), 0600);
  EXPECT_NE(Refusal().find("longer than"), std::string::npos);
  std::filesystem::remove(path_);
  EXPECT_NE(Refusal().find("cannot read the token file"), std::string::npos);
}

TEST_F(TokenFile, RefusesATokenOfBlanksOrWithBlanksAroundIt) {
  // No HTTP header carries the blanks around its value: such a token could never be sent.
  Write("   \n", 0600);
  EXPECT_NE(Refusal().find("the token is only blanks"), std::string::npos) << Refusal();
  Write("abc \n", 0600);
  EXPECT_NE(Refusal().find("begins or ends with a blank"), std::string::npos) << Refusal();
  Write(" abc\n", 0600);
  EXPECT_NE(Refusal().find("begins or ends with a blank"), std::string::npos) << Refusal();
  EXPECT_EQ(ger::TokenProblem("abc def"), "");
}

}  // namespace
