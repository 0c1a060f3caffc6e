#include "registration/addon_description.h"

#include <gtest/gtest.h>

#include "runtime/record_file.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::FileDiagnostic;
using testing::LiteralPattern;
using testing::ScratchFolder;
using testing::WriteFile;

TEST(AddonDescription, ThreeLinesFillTheFieldsAndCloseTheFile) {
  ScratchFolder scratch;
  const std::string long_path(85, 'p');
  const std::string long_text(300, 't');
  WriteFile("scconf.txt", "A title of 25 characters\r\n" + long_path + "\r\n" + long_text +
                              "\r\nfourth line\r\n");
  AddonDescription description;
  EXPECT_TRUE(ReadAddonDescription(description));
  EXPECT_EQ(description.title.view(), "A title of 25 charac");
  EXPECT_EQ(description.local_path.view(), long_path.substr(0, 80));
  EXPECT_EQ(description.welcome_text.view(), long_text.substr(0, 256));
  EXPECT_EQ(UnitFileName(kDescriptionUnit), "");
}

TEST(AddonDescription, ExampleFieldsAreBlankPadded) {
  ScratchFolder scratch;
  WriteFile("scconf.txt", "Sample Field\nAddon Scenery\\Sample\n  indented text\n");
  AddonDescription description;
  EXPECT_TRUE(ReadAddonDescription(description));
  EXPECT_EQ(description.title.view(), "Sample Field" + std::string(8, ' '));
  EXPECT_EQ(description.local_path.view(), "Addon Scenery\\Sample" + std::string(60, ' '));
  EXPECT_EQ(description.welcome_text.view(), "  indented text" + std::string(241, ' '));
}

TEST(AddonDescription, WithoutAThirdLineTheFileStaysOpen) {
  ScratchFolder scratch;
  WriteFile("scconf.txt", "Title\nPath");
  AddonDescription description;
  EXPECT_FALSE(ReadAddonDescription(description));
  EXPECT_EQ(UnitFileName(kDescriptionUnit), scratch.FullPath("scconf.txt"));
  CloseAllUnits();
  // An empty third line is a line: 256 blanks.
  WriteFile("scconf.txt", "Title\nPath\n\n");
  EXPECT_TRUE(ReadAddonDescription(description));
  EXPECT_EQ(description.welcome_text.view(), std::string(256, ' '));
}

#ifndef _WIN32
// Natively the fatal report goes to standard error and the status keeps the
// low byte of the diagnostic code.
TEST(AddonDescriptionDeathTest, MissingFileEndsWithEndOfFileAndIsLeftEmpty) {
  ScratchFolder scratch;
  const std::string expected =
      LiteralPattern(FileDiagnostic(24, kDescriptionUnit, scratch.FullPath("scconf.txt")));
  AddonDescription description;
  EXPECT_EXIT(ReadAddonDescription(description), ::testing::ExitedWithCode(24), expected);
  EXPECT_TRUE(std::filesystem::exists("scconf.txt"));
  WriteFile("scconf.txt", "Only a title\n");
  EXPECT_EXIT(ReadAddonDescription(description), ::testing::ExitedWithCode(24), expected);
}
#endif

}  // namespace
}  // namespace scenreg
