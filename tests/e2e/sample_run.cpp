// Runs scenreg.exe once in a simulator folder for the README's run command
// and reports how it ended with the full 32-bit status, which Wine's own
// exit status cuts to its low 8 bits.
//
// Usage: scenreg_sample_run.exe PROGRAM FOLDER user|answer
//   user    a person at the display answers every box;
//   answer  the driver answers as a user would: "Continue" in "Welcome",
//           OK in every other box, each photographed first.
// Exits 0 when the program ended with status 0, 1 when it ended otherwise,
// 2 when it could not be started or did not end.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "tests/e2e/e2e_harness.h"

namespace scenreg::e2e {
namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kAnswerTimeoutMs = 120000;

std::string BoxText(HWND box) {
  // A message box's text is its static control 0xFFFF; a dialog's texts are
  // its children's.
  std::string text;
  for (const WindowFacts& child : ChildrenOf(box))
    if (!child.text.empty() && child.class_name != "Button") text += "  " + child.text + "\n";
  return text;
}

int RunSample(const std::string& program_path, const std::string& folder, bool answer) {
  UnmanageWindowsUnderWine({"scenreg.exe"});
  ProgramUnderTest program;
  if (!program.Start(program_path, folder)) {
    std::printf("scenreg.exe could not be started (system error %lu)\n", GetLastError());
    RestoreWindowManagement();
    return 2;
  }
  std::set<HWND> boxes_seen;
  Deadline answer_deadline(kAnswerTimeoutMs);
  while (program.running()) {
    for (HWND box : program.Boxes()) {
      if (!boxes_seen.insert(box).second) continue;
      answer_deadline = Deadline(kAnswerTimeoutMs);
      Sleep(500);  // let it paint
      const std::string caption = TextOf(box);
      std::printf("Box \"%s\":\n%s", caption.c_str(), BoxText(box).c_str());
      if (!answer) continue;
      std::string shot = "sample-run-" + std::to_string(boxes_seen.size()) + "-";
      for (char c : caption)
        if (std::isalnum(static_cast<unsigned char>(c))) shot += static_cast<char>(std::tolower(c));
      const std::string picture = SaveScreenshot(shot);
      if (!picture.empty()) std::printf("  (screenshot: %s)\n", picture.c_str());
      // Enter presses the default button: "Continue", or OK.
      std::printf("  answered with Enter\n");
      program.PressKey(box, VK_RETURN);
    }
    Sleep(kPollMs);
    if (answer && answer_deadline.passed()) break;
  }
  RestoreWindowManagement();
  const std::optional<DWORD> status = program.WaitForExit(5000);
  if (!status) {
    std::printf("scenreg.exe did not end; it was stopped\n");
    return 2;
  }
  std::printf("scenreg.exe ended with status %lu (0x%08lX)\n", *status, *status);
  return *status == 0 ? 0 : 1;
}

}  // namespace
}  // namespace scenreg::e2e

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[3], "user") != 0 && std::strcmp(argv[3], "answer") != 0)) {
    std::fprintf(stderr, "usage: %s PROGRAM FOLDER user|answer\n", argv[0]);
    return 2;
  }
  return scenreg::e2e::RunSample(argv[1], argv[2], std::strcmp(argv[3], "answer") == 0);
}
