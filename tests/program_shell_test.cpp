#include "runtime/program_shell.h"

#include <gtest/gtest.h>

#include <csignal>

#include "runtime/diagnostics.h"
#include "runtime/processor_exceptions.h"
#include "runtime/record_file.h"
#include "runtime/shell_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

TEST(ProgramShell, ExitModeAcceptsOneToThreeOnly) {
  ASSERT_EQ(SetExitMode(kKeepOpen), 0);
  for (std::int32_t invalid : {0, 4, -1, INT32_MIN}) {
    EXPECT_EQ(SetExitMode(invalid), -1) << invalid;
    EXPECT_EQ(CurrentExitMode(), kKeepOpen);
  }
  EXPECT_EQ(SetExitMode(kCloseAtOnce), 0);
  EXPECT_EQ(CurrentExitMode(), kCloseAtOnce);
  EXPECT_EQ(SetExitMode(kAskUser), 0);
  EXPECT_EQ(CurrentExitMode(), kAskUser);
}

TEST(ProgramShell, WindowGeometryRefusesUnknownRequestsAndSelectors) {
  std::int32_t main_window = MainWindowSelector;
  const std::int16_t unknown_requests[] = {0, 5, -1, 4096};
  for (std::int16_t request : unknown_requests) {
    WindowGeometry geometry{request, 0, 0, 150, 420};
    EXPECT_EQ(SetWindowGeometry(main_window, geometry), -1) << request;
  }
  for (std::int32_t unit : {0, 1, 2, INT32_MAX}) {
    WindowGeometry geometry{WindowGeometry::kPlaceAndSize, 0, 0, 150, 420};
    EXPECT_EQ(SetWindowGeometry(unit, geometry), -1) << unit;
  }
  EXPECT_EQ(static_cast<std::uint32_t>(MainWindowSelector), 0x80000000u);
  const std::int16_t known_requests[] = {1, 2, 3, 4};
  for (std::int16_t request : known_requests)
    EXPECT_TRUE(IsValidWindowRequest(MainWindowSelector, request));
}

TEST(ProgramShell, OuterSizeAddsFrameCaptionMenuAndStatusBar) {
  const WindowGeometry run_request{WindowGeometry::kPlaceAndSize, 0, 0, 150, 420};
  // Distinct metrics, so that each one is seen to count once or twice.
  const OuterSize outer = OuterWindowSize(run_request, {3, 5, 20, 21}, 18);
  EXPECT_EQ(outer.width, 420 + 2 * 3);
  EXPECT_EQ(outer.height, 150 + 2 * 5 + 20 + 21 + 18);
  const OuterSize empty = OuterWindowSize({4, 0, 0, 0, 0}, {4, 4, 19, 19}, 0);
  EXPECT_EQ(empty.width, 8);
  EXPECT_EQ(empty.height, 46);
}

TEST(ProgramShell, CaptionIsTheBareProgramName) {
  EXPECT_EQ(CaptionFromModulePath("C:\\Program Files\\FS9\\scenreg.exe"), "scenreg");
  EXPECT_EQ(CaptionFromModulePath("Z:\\tmp\\setup.exe"), "setup");
  EXPECT_EQ(CaptionFromModulePath("C:setup.exe"), "setup");
  EXPECT_EQ(CaptionFromModulePath("C:\\My.Addon\\install"), "install");
  EXPECT_EQ(CaptionFromModulePath("/opt/tool.v2.exe"), "tool.v2");
  EXPECT_EQ(CaptionFromModulePath(""), "scenreg");
  EXPECT_EQ(CaptionFromModulePath("C:\\folder\\"), "scenreg");
  EXPECT_EQ(CaptionFromModulePath("C:\\folder\\.exe"), "scenreg");
}

TEST(ProgramShell, PromptAndStatusTexts) {
  EXPECT_EQ(ExitPromptText(1), "Program Terminated with exit code 1\nExit Window?");
  EXPECT_EQ(ExitPromptText(-3), "Program Terminated with exit code -3\nExit Window?");
  EXPECT_EQ(StatusText(kRunning), "Running");
  EXPECT_EQ(StatusText(kPaused), "Paused");
  EXPECT_EQ(StatusText(kFinished), "Finished");
}

TEST(ProgramShell, TracebackColumns) {
  EXPECT_EQ(TracebackHeader(),
            "Image              PC        Routine            Line        Source             \n");
  EXPECT_EQ(TracebackRow("scenreg.exe", 0x401A2F, "Unknown", "Unknown", "Unknown"),
            "scenreg.exe        00401A2F  Unknown               Unknown  Unknown\n");
  // Long names are cut to their column; a 64-bit counter keeps its digits.
  EXPECT_EQ(TracebackRow("a_very_long_image_name.dll", 0x140001000ull, "r", "12345678901", "s"),
            "a_very_long_image  140001000  r                  1234567890  s\n");
}

TEST(ProcessorExceptions, EachNamedExceptionHasItsOwnMessage) {
  const std::pair<std::uint32_t, const char*> named[] = {
      {kAccessViolation, "access violation"},
      {kDatatypeMisalignment, "datatype misalignment"},
      {kArrayBoundsExceeded, "array bounds exceeded"},
      {kFloatDenormalOperand, "floating point denormal operand"},
      {kFloatDivideByZero, "floating point divide by zero"},
      {kFloatInexactResult, "floating point inexact result"},
      {kFloatInvalidOperation, "floating point invalid operation"},
      {kFloatOverflow, "floating point overflow"},
      {kFloatStackCheck, "floating point stack check"},
      {kFloatUnderflow, "floating point underflow"},
      {kIntegerDivideByZero, "integer divide by zero"},
      {kIntegerOverflow, "integer overflow"},
      {kIllegalInstruction, "illegal instruction"},
      {kStackOverflow, "stack overflow"},
      {kInvalidDisposition, "invalid disposition"},
  };
  int number = 157;
  for (const auto& [exception, words] : named) {
    const DiagnosticCode code = DiagnosticForException(exception);
    EXPECT_EQ(code, MakeDiagnosticCode(kSevere, number++)) << words;
    EXPECT_EQ(LookUpMessage(code), "Program Exception - " + std::string(words) + "\r\n");
  }
}

TEST(ProcessorExceptions, OtherCodesAreShownWithTheirNumber) {
  const std::uint32_t breakpoint = 0x80000003;
  const DiagnosticCode code = DiagnosticForException(breakpoint);
  EXPECT_EQ(code, 0xC00000ACu);
  const ExceptionArgs args = ArgumentsForException(breakpoint);
  EXPECT_EQ(FormatDiagnosticLine(code, args.args),
            "scenreg: severe (172): Program Exception - exception code = 0x80000003 "
            "(-2147483645)\r\n");
  // Messages without placeholders take the same arguments unharmed.
  EXPECT_EQ(FormatDiagnosticLine(DiagnosticForException(kAccessViolation),
                                 ArgumentsForException(kAccessViolation).args),
            "scenreg: severe (157): Program Exception - access violation\r\n");
}

TEST(ProcessorExceptions, SseFaultsAreNamedByTheirUnmaskedFlag) {
  const std::uint32_t all_masked = 0x1F80;
  const std::uint32_t zero_divide_unmasked = all_masked & ~(1u << 9);
  EXPECT_EQ(DiagnosticForException(kFloatMultipleTraps, zero_divide_unmasked | 0x4),
            MakeDiagnosticCode(kSevere, 161));
  // Several raised: the invalid operation comes first, as the processor
  // checks it first.
  EXPECT_EQ(DiagnosticForException(kFloatMultipleFaults, 0x5), MakeDiagnosticCode(kSevere, 163));
  // A raised but masked flag names nothing.
  EXPECT_EQ(DiagnosticForException(kFloatMultipleTraps, all_masked | 0x4),
            MakeDiagnosticCode(kSevere, 172));
}

// A program's own signal handler sees the exceptions of its kind only.
TEST(ProcessorExceptions, EachExceptionGoesToTheSignalOfItsKind) {
  const struct {
    std::uint32_t exception_code;
    int signal;
  } cases[] = {
      {kAccessViolation, SIGSEGV},  {kIllegalInstruction, SIGILL}, {kPrivilegedInstruction, SIGILL},
      {kFloatDivideByZero, SIGFPE}, {kFloatMultipleTraps, SIGFPE}, {kIntegerDivideByZero, SIGFPE},
      {kIntegerOverflow, SIGFPE},   {kStackOverflow, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SignalForException(c.exception_code), c.signal) << std::hex << c.exception_code;
}

#ifndef _WIN32
TEST(ProgramShellDeathTest, OrderlyStopClosesUnitsAndEndsWithZero) {
  testing::ScratchFolder scratch;
  EXPECT_EXIT(
      {
        OpenUnit(1, "left-open.txt");
        WriteRecord(1, {TextItem("kept")});
        OrderlyStop("", 0, 0, 7, 1);
      },
      ::testing::ExitedWithCode(0), "^$");
  EXPECT_EQ(testing::ReadFile("left-open.txt"), "kept\r\n");
  EXPECT_EXIT(RunProgramShell([] { CheckDivisionFlaw(); }), ::testing::ExitedWithCode(0), "^$");
}
#endif

}  // namespace
}  // namespace scenreg
