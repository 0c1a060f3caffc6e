#include "runtime/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "runtime/record_file.h"

namespace scenreg {
namespace {

TEST(Diagnostics, CodeHoldsSeverityAndNumber) {
  EXPECT_EQ(MakeDiagnosticCode(kSevere, 24), 0xC0000018u);
  EXPECT_EQ(MakeDiagnosticCode(kError, 200), 0x800000C8u);
  EXPECT_EQ(SeverityOf(0xC00000C9u), kSevere);
  EXPECT_EQ(MessageNumberOf(0xC00000C9u), 201);
}

TEST(Diagnostics, LineHasPrefixNumberAndFormattedText) {
  const DiagnosticArg args[] = {2, "C:\\FS9\\scconf.txt"};
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kSevere, 24), args),
            "scenreg: severe (24): end-of-file during read, unit 2, file C:\\FS9\\scconf.txt\r\n");
  const DiagnosticArg unit1[] = {1, "/x/scenery.cfg"};
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kError, 63), unit1),
            "scenreg: error (63): output conversion error, unit 1, file /x/scenery.cfg\r\n");
  const DiagnosticArg event[] = {"control-C"};
  EXPECT_EQ(FormatDiagnosticLine(0x800000C8u, event),
            "scenreg: error (200): program aborting due to control-C event\r\n");
  // The line is what the report's fixed buffer would hold.
  const std::string long_name(20000, 'n');
  const DiagnosticArg long_args[] = {1, std::string_view(long_name)};
  const std::string long_line = FormatDiagnosticLine(MakeDiagnosticCode(kError, 63), long_args);
  EXPECT_EQ(long_line.size(), 16383u);
  EXPECT_TRUE(long_line.ends_with("nnn"));
}

TEST(Diagnostics, SeverityWordsAndUnknownCodes) {
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kSuccess, 999), {}),
            "scenreg (999): Message not found\n");
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kInfo, 999), {}),
            "scenreg: info (999): Message not found\n");
  // Without arguments the template is shown unfilled.
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kSevere, 30), {}),
            "scenreg: severe (30): open failure, unit %d, file %s\r\n");
}

TEST(Diagnostics, FormattedDataNeverSteersTheFormatting) {
  const DiagnosticArg file[] = {1, "C:\\%s%d%n\\scenery.cfg"};
  const DiagnosticArg text_only[] = {"x"};
  const DiagnosticArg integer_only[] = {7};
  const DiagnosticArg code[] = {0xC0000005ul, -1073741819L};
  const DiagnosticArg cut[] = {3, "abcdef"};
  const DiagnosticArg negative_cut[] = {-2, "abcdef"};
  const DiagnosticArg no_text_to_cut[] = {3, 4};
  const struct {
    std::string_view message_template;
    std::span<const DiagnosticArg> args;
    std::string_view formatted;
  } cases[] = {
      {"unit %d, file %s", file, "unit 1, file C:\\%s%d%n\\scenery.cfg"},
      // Missing or mistyped arguments leave their placeholders as they stand,
      // and the argument stays for the next placeholder that fits it.
      {"%d and %s, 100%%, 5% off", text_only, "%d and x, 100%, 5% off"},
      {"%s then %i", integer_only, "%s then 7"},
      {"%ld %lx %s", text_only, "%ld %lx x"},
      {"0x%lx (%ld)", code, "0xc0000005 (-1073741819)"},
      {"[%.*s]", cut, "[abc]"},
      {"[%.*s]", negative_cut, "[]"},
      // Without a text after the length, neither is used.
      {"[%.*s] %d %d", no_text_to_cut, "[%.*s] 3 4"},
      {"%.*s", text_only, "%.*s"},
      {"ends in %", {}, "ends in %"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatMessageTemplate(c.message_template, c.args), c.formatted) << c.message_template;
}

TEST(Diagnostics, CatalogueHoldsEveryRaisableMessageOnce) {
  std::set<DiagnosticCode> codes;
  for (const CatalogueEntry& entry : MessageCatalogue()) {
    EXPECT_TRUE(codes.insert(entry.code).second) << std::hex << entry.code;
    EXPECT_TRUE(entry.message_template.ends_with("\r\n")) << entry.message_template;
  }
  for (int number : {9, 10, 22, 24, 28, 29, 30, 38, 39, 41, 42, 43, 47, 64, 66, 201})
    EXPECT_TRUE(codes.count(MakeDiagnosticCode(kSevere, number))) << number;
  for (int number = 157; number <= 172; ++number)
    EXPECT_TRUE(codes.count(MakeDiagnosticCode(kSevere, number))) << number;
  EXPECT_TRUE(codes.count(MakeDiagnosticCode(kError, 63)));
  EXPECT_TRUE(codes.count(MakeDiagnosticCode(kError, 200)));
  EXPECT_EQ(LookUpMessage(MakeDiagnosticCode(kSevere, 157)),
            "Program Exception - access violation\r\n");
  EXPECT_EQ(LookUpMessage(MakeDiagnosticCode(kSevere, 171)),
            "Program Exception - invalid disposition\r\n");
}

#ifndef _WIN32
// Standard error shows the reports here; on Windows they are boxes.

// A text buffer source that refuses the first requests and notes the
// sizes asked for.
int refused_requests = 0;
std::vector<std::size_t> requested_sizes;
char* RefusingSource(std::size_t size) {
  requested_sizes.push_back(size);
  if (requested_sizes.size() <= static_cast<std::size_t>(refused_requests)) return nullptr;
  return static_cast<char*>(std::calloc(size, 1));
}

TEST(Diagnostics, ReportInLowMemoryFallsBackToAnExactBufferThenToTheNumber) {
  const std::string long_name(20000, 'n');
  const DiagnosticArg short_args[] = {1, "/x/scenery.cfg"};
  const DiagnosticArg long_args[] = {1, std::string_view(long_name)};
  const std::string line =
      "scenreg: error (63): output conversion error, unit 1, file /x/scenery.cfg\r\n";
  const std::string long_line =
      "scenreg: error (63): output conversion error, unit 1, file " + long_name + "\r\n";
  const struct {
    std::span<const DiagnosticArg> args;
    int refused;
    std::vector<std::size_t> sizes;
    std::string shown;  // on standard error
  } cases[] = {
      {short_args, 0, {16384}, line},
      {short_args, 1, {16384, line.size() + 1}, line},
      {short_args, 2, {16384, line.size() + 1}, "63\n"},
      // The fixed buffer cuts the text; the exact one holds all of it.
      {long_args, 0, {16384}, long_line.substr(0, 16383) + "\n"},
      {long_args, 1, {16384, long_line.size() + 1}, long_line},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refused << " refused, " << c.args[1].text.size());
    refused_requests = c.refused;
    requested_sizes.clear();
    const TextBufferSource previous = ReplaceTextBufferSource(RefusingSource);
    testing::internal::CaptureStderr();
    ReportDiagnostic(MakeDiagnosticCode(kError, 63), c.args);
    const std::string shown = testing::internal::GetCapturedStderr();
    ReplaceTextBufferSource(previous);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(requested_sizes, c.sizes);
  }
}

TEST(DiagnosticsDeathTest, SevereReportWithoutMemoryStillEndsWithItsCode) {
  EXPECT_EXIT(
      {
        refused_requests = 2;
        ReplaceTextBufferSource(RefusingSource);
        ReportDiagnostic(MakeDiagnosticCode(kSevere, 24), {2, "scconf.txt"});
      },
      testing::ExitedWithCode(0x18), "^24\n$");
}

#endif

}  // namespace
}  // namespace scenreg
