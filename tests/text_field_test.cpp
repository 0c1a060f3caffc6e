#include "runtime/text_field.h"

#include <gtest/gtest.h>

namespace scenreg {
namespace {

TEST(TextField, OnlyTheBlankCountsAsPadding) {
  EXPECT_EQ(TrimmedLength("abc   "), 3u);
  EXPECT_EQ(TrimmedLength("    "), 0u);
  EXPECT_EQ(TrimmedLength(""), 0u);
  EXPECT_EQ(TrimmedLength("abc\t "), 4u);  // a trailing tab is part of the value
  EXPECT_EQ(TrimmedText("  lead  "), "  lead");
}

TEST(TextField, ComparesAsIfBlankPadded) {
  EXPECT_TRUE(SameText("Title=", "Title=    "));
  EXPECT_TRUE(SameText("", "   "));
  EXPECT_FALSE(SameText("Title=", "title="));
  EXPECT_FALSE(SameText("abc", "abc\t"));
  EXPECT_FALSE(SameText(" abc", "abc"));
  EXPECT_FALSE(SameText(std::string_view("a\0", 2), "a "));
}

TEST(TextField, AssignmentCutsOrFillsWithBlanks) {
  TextField<5> field = MakeTextField<5>("abcdefg");
  EXPECT_EQ(field.view(), "abcde");
  AssignText(field.span(), "xy");
  EXPECT_EQ(field.view(), "xy   ");
  AssignText(field.span(), "");
  EXPECT_EQ(field.view(), "     ");
}

}  // namespace
}  // namespace scenreg
