// One failing file call anywhere in a whole run. A clean run first lists the
// calls the run makes; then each call in turn fails with each system error
// that reaches the user as a different error number, and the run goes on in
// a child process of its own (it ends its process). What the user is told,
// the process status and the library afterwards are checked for every case:
// a failure is never reported as success, and the library holds its bytes
// followed by exactly the records written before the failing one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/posix/fake_dialog_windows.h"
#include "registration/registration_run.h"
#include "registration/removal_run.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::Areas;
using testing::AreaSection;
using testing::FaultPlan;
using testing::FileCall;
using testing::FileDiagnostic;
using testing::FirstRecords;
using testing::InjectFaults;
using testing::MessageText;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

constexpr const char* kDescriptionName = "scconf.txt";
constexpr const char* kLibraryName = "scenery.cfg";

struct Scenario {
  const char* name;
  bool welcome_text;
  int areas;              // 12 and more are recognised; fewer are refused
  int last_number;        // of the last area; 999 leaves no number for the new one
  bool declines = false;  // the user answers "No thanks"
  bool entered = false;   // the add-on's title line follows the last area
  bool Goes() const { return !declines && !entered; }  // past the scan
  bool Recognised() const { return areas >= 12; }
  bool Refused() const { return Goes() && Recognised() && last_number >= 999; }  // error 63
  bool Writes() const { return Goes() && Recognised() && !Refused(); }
  bool Sorry() const { return Goes() && !Recognised(); }
};
constexpr Scenario kScenarios[] = {
    {"registers, asked", true, 12, 12},
    {"registers, not asked", false, 14, 14},
    {"refused, asked", true, 11, 11},
    {"refused, not asked", false, 11, 11},
    {"number beyond 999, asked", true, 12, 999},
    {"declined", true, 12, 12, true},
    {"already registered", false, 12, 12, false, true},
};

// The errors that each kind of call can fail with, one for each error
// number the user can be shown, with that number.
struct Injection {
  SystemError error;
  int count;  // 2: the read-only retry of an open fails too
  int error_number;
};
const std::map<FileCall, std::vector<Injection>> kInjections = {
    {FileCall::kOpenWritable,
     {{ENOENT, 1, 29},
      {EMFILE, 1, 30},
      {EIO, 1, 30},
      {ENODEV, 1, 42},
      {EEXIST, 1, 10},
      {EINVAL, 1, 43},
      {EACCES, 1, 47},  // opened read-only instead: only a write fails
      {EACCES, 2, 9}}},
    {FileCall::kRead, {{EIO, 1, 39}}},
    {FileCall::kWrite, {{ENOSPC, 1, 38}}},
    {FileCall::kSeekToEnd, {{EIO, 1, 30}}},
    {FileCall::kClose, {{EIO, 1, 28}}},
};

// The remover's own calls, with the error numbers they reach the user as.
const std::map<FileCall, std::vector<Injection>> kRemovalInjections = {
    {FileCall::kSeekToStart, {{EIO, 1, 39}}},
    {FileCall::kCreateEmpty, {{EACCES, 1, 9}, {ENOSPC, 1, 30}}},  // a read-only folder, ...
    {FileCall::kFlush, {{EIO, 1, 38}}},
    {FileCall::kGetAttributes, {{EACCES, 1, 9}}},
    {FileCall::kSetAttributes, {{EPERM, 1, 9}}},
    {FileCall::kCopy, {{EACCES, 1, 9}, {ENOSPC, 1, 30}}},
    {FileCall::kMove, {{EBUSY, 1, 30}, {EACCES, 1, 9}}},  // the backup set aside, the last step
    {FileCall::kRemove, {{EBUSY, 1, 30}}},                // the set-aside backup, after the replace
};

std::string Library(const Scenario& scenario) {
  return testing::Library(scenario.areas - 1) + Areas(scenario.last_number, scenario.last_number) +
         (scenario.entered ? testing::kSampleTitleLine : "");
}

std::string Description(bool welcome_text) {
  return testing::kSampleDescription + (welcome_text ? "Adds the sample field.\r\n" : "");
}

// What the child tells through its trace: one line for each file call and
// for each box shown.
int trace_fd = -1;

void TraceLine(const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t written = write(trace_fd, text.data(), text.size());
}

void TraceCall(FileCall call, FileHandle handle, const std::string& path, SystemError error) {
  TraceLine(std::to_string(static_cast<int>(call)) + " " + std::to_string(handle) + " " +
            std::to_string(error) + " " + std::filesystem::path(path).filename().string());
}

struct Call {
  FileCall kind;
  FileHandle handle;
  SystemError error;
  std::string file;  // the file the call works on
};

struct ChildEnd {
  int status = -1;
  std::string errors;
  std::vector<Call> calls;
  std::vector<int> boxes;  // template ids of the boxes shown
};

// An answer that stands for a box the dialog service cannot show.
constexpr std::int32_t kBoxNotShown = -1;

ChildEnd RunCase(const FaultPlan& faults, std::int32_t answer, void (*run)() = RunRegistration) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    trace_fd = open("trace.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = open("errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errors, 2);
    if (answer == kBoxNotShown) {
      SetFakeUser({});
    } else {
      SetFakeUser([answer](FakeDialogWindow& box) {
        TraceLine("box " + std::to_string(box.template_id));
        ClickButton(box, answer);
      });
    }
    FaultPlan plan = faults;
    plan.after_call = TraceCall;
    InjectFaults inject(plan);
    run();
  }
  int status = 0;
  waitpid(child, &status, 0);
  ChildEnd end;
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  end.errors = ReadFile("errors.txt");
  std::map<FileHandle, std::string> open_files;
  std::istringstream trace(ReadFile("trace.txt"));
  for (std::string word; trace >> word;) {
    if (word == "box") {
      int id = 0;
      trace >> id;
      end.boxes.push_back(id);
      continue;
    }
    Call call{static_cast<FileCall>(std::stoi(word)), 0, 0, {}};
    trace >> call.handle >> call.error;
    const bool opens = call.kind == FileCall::kOpenWritable ||
                       call.kind == FileCall::kOpenReadOnly || call.kind == FileCall::kCreateEmpty;
    if (opens || call.kind >= FileCall::kCreateEmpty) {
      trace >> call.file;
      if (opens && call.error == 0) open_files[call.handle] = call.file;
    } else {
      call.file = open_files[call.handle];
      if (call.kind == FileCall::kClose) open_files.erase(call.handle);
    }
    end.calls.push_back(call);
  }
  // Every file the run opened is closed when its process ends.
  for (const auto& [handle, file] : open_files) ADD_FAILURE() << file << " left open";
  return end;
}

struct Expected {
  int status = 0;  // the error number, 0 for a regular outcome
  SystemError system_error = 0;
  std::string file;
  std::string library;
  bool sorry = false;
  bool refused = false;  // the regular outcome after error 63 alone
};

Expected Expect(const Scenario& scenario, const ChildEnd& clean, const std::string& registered,
                std::size_t position, const Injection& injection, const std::string& library) {
  const Call& call = clean.calls[position];
  const std::string section = registered.substr(library.size());
  const Expected regular{0, 0, {}, registered, scenario.Sorry(), scenario.Refused()};
  Expected failed{injection.error_number, injection.error, call.file, library};
  const bool is_library = call.file == kLibraryName;
  int previous_calls = 0;  // earlier calls of the same kind on the same file
  for (std::size_t i = 0; i < position; ++i)
    if (clean.calls[i].kind == call.kind && clean.calls[i].file == call.file) ++previous_calls;
  const bool registers = scenario.Writes();
  switch (call.kind) {
    case FileCall::kOpenWritable:
      if (injection.count == 1 && injection.error == EACCES) {
        // Read-only serves the reads; the append open's first write fails.
        if (!(is_library && previous_calls == 1)) return regular;
        failed.system_error = 0;
      }
      return failed;
    case FileCall::kRead:
      // A failed read of the library ends the scan as its end would.
      if (is_library) return {0, 0, {}, library, true};
      return failed;
    case FileCall::kWrite:
      failed.library += FirstRecords(section, previous_calls);
      return failed;
    case FileCall::kClose:
      // Closes at the stop are not told; the run's own ones are.
      if (is_library ? !registers : !scenario.welcome_text) return regular;
      if (is_library && previous_calls == 1) failed.library = registered;
      return failed;
    default:
      return failed;
  }
}

TEST(FaultMatrix, OneFailingCallAnywhereInTheRun) {
  ScratchFolder scratch;
  int cases = 0;
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    const std::string library = Library(scenario);
    const std::string description = Description(scenario.welcome_text);
    WriteFile(kDescriptionName, description);
    WriteFile(kLibraryName, library);
    const std::int32_t answer = scenario.declines ? kNoThanksButton : kContinueButton;
    const ChildEnd clean = RunCase({}, answer);
    ASSERT_EQ(clean.status, 0) << clean.errors;
    // The one report a regular outcome may follow.
    const std::string refusal = FileDiagnostic(63, 1, scratch.FullPath(kLibraryName));
    ASSERT_EQ(clean.errors, scenario.Refused() ? refusal : "");
    const std::string clean_library = ReadFile(kLibraryName);
    if (scenario.Writes()) {
      ASSERT_EQ(clean_library, library + AreaSection(scenario.areas + 1));
    } else {
      ASSERT_EQ(clean_library, library);
    }

    for (std::size_t position = 0; position < clean.calls.size(); ++position) {
      for (const Injection& injection : kInjections.at(clean.calls[position].kind)) {
        const Expected expected =
            Expect(scenario, clean, clean_library, position, injection, library);
        WriteFile(kLibraryName, library);
        FaultPlan plan;
        plan.fail_call = static_cast<int>(position) + 1;
        plan.fail_count = injection.count;
        plan.fail_error = injection.error;
        const ChildEnd end = RunCase(plan, answer);
        ++cases;
        SCOPED_TRACE("call " + std::to_string(position + 1) + " (kind " +
                     std::to_string(static_cast<int>(clean.calls[position].kind)) + ", " +
                     clean.calls[position].file + ") fails with " + std::strerror(injection.error) +
                     " x" + std::to_string(injection.count));
        EXPECT_EQ(end.status, expected.status);
        EXPECT_EQ(ReadFile(kLibraryName), expected.library);
        EXPECT_EQ(ReadFile(kDescriptionName), description);
        EXPECT_EQ(std::count(end.boxes.begin(), end.boxes.end(), kSorryDialog),
                  expected.sorry ? 1 : 0);
        if (expected.status == 0) {
          EXPECT_EQ(end.errors, expected.refused ? refusal : "");
          continue;
        }
        const std::string message =
            FileDiagnostic(expected.status, expected.file == kLibraryName ? 1 : 2,
                           scratch.FullPath(expected.file));
        EXPECT_NE(end.errors.find(message), std::string::npos) << end.errors;
        if (expected.system_error != 0) {
          EXPECT_TRUE(
              end.errors.starts_with(std::string("scenreg: ") +
                                     std::strerror(static_cast<int>(expected.system_error)) + "\n"))
              << end.errors;
        }
      }
    }
  }
  std::printf("fault matrix: %d cases\n", cases);
}

// No user's answer: the add-on is entered, as without a welcome text.
TEST(FaultMatrix, WelcomeThatCannotBeShownGoesOn) {
  ScratchFolder scratch;
  const std::string library = Library(kScenarios[0]);
  WriteFile(kDescriptionName, Description(true));
  WriteFile(kLibraryName, library);
  const ChildEnd end = RunCase({}, kBoxNotShown);
  EXPECT_EQ(end.status, 0) << end.errors;
  EXPECT_TRUE(end.boxes.empty());
  EXPECT_EQ(ReadFile(kLibraryName), library + AreaSection(13));
}

}  // namespace
}  // namespace scenreg

namespace scenreg {
namespace {

// The remover, on a library that holds the add-on and next to the backup of
// an earlier removal: every failure ends the run with its error number and
// leaves scenery.cfg and that backup as they were and no other file; the few
// failures that do not matter end as a clean run does.
TEST(FaultMatrix, OneFailingCallAnywhereInTheRemoval) {
  ScratchFolder scratch;
  const std::string library = Library(kScenarios[0]);
  const std::string description = Description(true);
  const std::string previous_backup = "an earlier removal's\r\n";
  WriteFile(kDescriptionName, description);
  WriteFile(kLibraryName, library);
  ASSERT_EQ(RunCase({}, kContinueButton).status, 0);
  const std::string registered = ReadFile(kLibraryName);
  WriteFile(kLibraryBackupFileName, previous_backup);
  const ChildEnd clean = RunCase({}, 0, RunRemoval);
  ASSERT_EQ(clean.status, 0) << clean.errors;
  ASSERT_EQ(ReadFile(kLibraryName), library);
  ASSERT_EQ(ReadFile(kLibraryBackupFileName), registered);
  // The new library is on the disk before it takes the old one's place.
  const auto first_call = [&](FileCall kind, const std::string& file) {
    return std::find_if(clean.calls.begin(), clean.calls.end(),
                        [&](const Call& c) { return c.kind == kind && c.file == file; });
  };
  EXPECT_LT(first_call(FileCall::kFlush, kNewLibraryFileName),
            first_call(FileCall::kMove, kLibraryName));

  int cases = 0;
  for (std::size_t position = 0; position < clean.calls.size(); ++position) {
    const Call& call = clean.calls[position];
    const auto injections = kInjections.contains(call.kind) ? kInjections.at(call.kind)
                                                            : kRemovalInjections.at(call.kind);
    for (const Injection& injection : injections) {
      WriteFile(kLibraryName, registered);
      WriteFile(kLibraryBackupFileName, previous_backup);
      std::filesystem::remove(kPreviousBackupFileName);
      FaultPlan plan;
      plan.fail_call = static_cast<int>(position) + 1;
      plan.fail_count = injection.count;
      plan.fail_error = injection.error;
      const ChildEnd end = RunCase(plan, 0, RunRemoval);
      ++cases;
      SCOPED_TRACE("call " + std::to_string(position + 1) + " (kind " +
                   std::to_string(static_cast<int>(call.kind)) + ", " + call.file +
                   ") fails with " + std::strerror(injection.error) + " x" +
                   std::to_string(injection.count));
      EXPECT_FALSE(std::filesystem::exists(kNewLibraryFileName));
      const bool is_library = call.file == kLibraryName;
      // scconf.txt is only read, so read-only does; a library not found has
      // nothing to remove; the set-aside backup that is left is deleted by
      // the next replace.
      const bool aside_left = call.kind == FileCall::kRemove;
      const bool harmless =
          aside_left || (call.kind == FileCall::kOpenWritable &&
                         ((!is_library && injection.error == EACCES && injection.count == 1) ||
                          (is_library && injection.error == ENOENT)));
      EXPECT_EQ(std::filesystem::exists(kPreviousBackupFileName), aside_left);
      if (harmless) {
        const bool removed = !(is_library && call.kind == FileCall::kOpenWritable);
        EXPECT_EQ(end.status, 0) << end.errors;
        EXPECT_EQ(ReadFile(kLibraryName), removed ? library : registered);
        EXPECT_EQ(ReadFile(kLibraryBackupFileName), removed ? registered : previous_backup);
        continue;
      }
      EXPECT_EQ(end.status, injection.error_number) << end.errors;
      EXPECT_EQ(ReadFile(kLibraryName), registered);
      EXPECT_EQ(ReadFile(kLibraryBackupFileName), previous_backup);
      EXPECT_NE(end.errors.find(MessageText(injection.error_number)), std::string::npos)
          << end.errors;
    }
  }
  std::printf("fault matrix, removal: %d cases\n", cases);
}

}  // namespace
}  // namespace scenreg
