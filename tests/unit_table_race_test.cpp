// The user's close of the main window while the run works: the window
// thread's end close against the program thread's operations. Each round of
// a whole run ends its process, so it runs in a child of its own, and the
// child's standard error is searched for sanitizer reports (a process that
// ends with _Exit skips the sanitizers' own exit status).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "registration/registration_run.h"
#include "runtime/record_file.h"
#include "runtime/text_field.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::FaultPlan;
using testing::InjectFaults;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

constexpr int kAreas = 40;

// A library the run registers into, with long comment lines after the
// first twenty sections, so that the scan takes many reads and grows its
// buffer once it has counted enough headers to register.
std::string LongLibrary() {
  std::mt19937 random(12);
  std::string text;
  for (int number = 1; number <= kAreas; ++number) {
    char header[32];
    std::snprintf(header, sizeof header, "[Area.%03d]\r\n", 100 + number);
    text += header;
    text += "Title=Area " + std::to_string(number) + "\r\n";
    // The first half is read at once: enough headers to register.
    if (number > kAreas / 2) text += ";" + std::string(1000 + random() % 30000, 'c') + "\r\n";
    text += "\r\n";
  }
  return text;
}

const std::string kSection =
    " \r\n \r\n[Area.141]\r\nTitle=Sample Field\r\nLocal=Addon Scenery\\Sample\r\n"
    "Active=TRUE\r\nRequired=FALSE\r\nLayer=141\r\nRemote=\r\n";

void WriteRunFiles(const std::string& library) {
  WriteFile("scconf.txt", "Sample Field\r\nAddon Scenery\\Sample\r\n");
  WriteFile("scenery.cfg", library);
}

struct ChildEnd {
  int status = -1;  // the exit status, or -1 when it did not exit
  std::string errors;
};

// Runs the body in a child process; the body ends the child.
template <typename Body>
ChildEnd RunInChild(Body body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int errors = open("child-errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errors, 2);
    body();
    _exit(99);  // the body did not end the process
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("child-errors.txt")};
}

// The window thread's part: the end close, the rest of its message loop,
// the second close after it, and the end of the process with status 0.
[[noreturn]] void CloseAsTheWindowThread() {
  CloseAllUnitsAtEnd();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  CloseAllUnitsAtEnd();
  std::_Exit(0);
}

TEST(UnitTableRace, CloseInTheMiddleOfTheScanAppendsNothing) {
  ScratchFolder scratch;
  const std::string library = LongLibrary();
  WriteRunFiles(library);
  const ChildEnd end = RunInChild([] {
    // The third read of the file system is one of the library's: the close
    // begins while it is under way.
    static std::atomic<int> reads{0};
    static std::atomic<bool> in_scan{false};
    FaultPlan plan;
    plan.before_read = [] {
      if (++reads == 3) {
        in_scan = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    };
    InjectFaults faults(plan);
    std::thread run(RunRegistration);
    run.detach();
    while (!in_scan) std::this_thread::yield();
    CloseAsTheWindowThread();
  });
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.errors, "");
  EXPECT_EQ(ReadFile("scenery.cfg"), library);
}

TEST(UnitTableRace, CloseAtRandomMomentsLeavesTheLibraryOrAPrefixOfTheSection) {
  ScratchFolder scratch;
  const std::string library = LongLibrary();
  std::mt19937 random(20261208);
  int appended = 0;
  for (int round = 0; round < 60; ++round) {
    WriteRunFiles(library);
    const int delay_us = static_cast<int>(random() % 30000);
    const ChildEnd end = RunInChild([delay_us] {
      std::thread run(RunRegistration);
      run.detach();
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      CloseAsTheWindowThread();
    });
    SCOPED_TRACE("round " + std::to_string(round) + ", close after " + std::to_string(delay_us) +
                 " us");
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(end.errors, "");
    const std::string after = ReadFile("scenery.cfg");
    ASSERT_TRUE(after.starts_with(library));
    ASSERT_TRUE(kSection.starts_with(after.substr(library.size())));
    if (after.size() > library.size()) ++appended;
  }
  // Some closes come after the run has ended; most should not.
  EXPECT_LT(appended, 60);
}

// The ordinary close on other threads while one reads long records: the
// closes wait for the read, and no unit is closed twice.
TEST(UnitTableRace, ClosesOnOtherThreadsDuringReadsAreSafe) {
  ScratchFolder scratch;
  WriteFile("long.txt", LongLibrary());
  for (int round = 0; round < 100; ++round) {
    ASSERT_EQ(OpenUnit(1, "long.txt", "formatted", {}, kWithExit), kIoSuccess);
    std::atomic<bool> go{false};
    std::thread reader([&go] {
      TextField<80> field;
      while (!go) std::this_thread::yield();
      while (ReadField(1, field.span(), kWithExit) == kIoSuccess) {
      }
    });
    auto close = [&go, round] {
      while (!go) std::this_thread::yield();
      SetIoLockingMode(round % 2 == 0 ? 0 : 2);
      std::this_thread::sleep_for(std::chrono::microseconds(round * 20));
      CloseAllUnits();
    };
    std::thread first(close);
    std::thread second(close);
    go = true;
    reader.join();
    first.join();
    second.join();
    EXPECT_EQ(UnitFileName(1), "");
  }
}

}  // namespace
}  // namespace scenreg
