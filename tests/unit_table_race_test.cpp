// The user's close of the main window while the run works: the window
// thread's end close against the program thread's operations. Each round of
// a whole run ends its process, so it runs in a child of its own, and the
// child's standard error is searched for sanitizer reports (a process that
// ends with _Exit skips the sanitizers' own exit status).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "registration/registration_run.h"
#include "runtime/posix/immediate_exit.h"
#include "runtime/record_file.h"
#include "runtime/record_scan.h"
#include "runtime/text_field.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::Areas;
using testing::FaultPlan;
using testing::FirstRecords;
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
  // The first half is read at once: enough headers to register.
  std::string text = Areas(101, 100 + kAreas / 2);
  for (int number = 101 + kAreas / 2; number <= 100 + kAreas; ++number)
    text += Areas(number, number) + ";" + std::string(1000 + random() % 30000, 'c') + "\r\n";
  return text;
}

const std::string kSection = testing::AreaSection(101 + kAreas);

void WriteRunFiles(const std::string& library) {
  WriteFile("scconf.txt", testing::kSampleDescription);
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
    ExitImmediately(99);  // the body did not end the process
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
  ExitImmediately(0);
}

// The run's file-system reads and writes, counted by the fault table's
// hooks, and the one at which the run is parked until the close has begun,
// so that the close lands inside that very read or write however the
// machine schedules the threads. 0 parks nowhere.
std::atomic<int> reads{0};
std::atomic<int> writes{0};
int park_at_read = 0;
int park_at_write = 0;
std::atomic<bool> parked{false};

void ParkUntilTheCloseHasBegun() {
  parked = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!EndCloseBegun()) {
    if (std::chrono::steady_clock::now() > deadline) {
      std::fputs("the close never began\n", stderr);
      return;
    }
    std::this_thread::yield();
  }
}

void CountRead() {
  if (++reads == park_at_read) ParkUntilTheCloseHasBegun();
}

void CountWrite() {
  if (++writes == park_at_write) ParkUntilTheCloseHasBegun();
  // For the calibrating run: how many reads come before the section.
  if (writes == 1 && park_at_write == 0)
    WriteFile("reads-before-writes.txt", std::to_string(reads));
}

// A whole run in a child, with the closing thread waiting for the park.
ChildEnd RunParked(int read, int write) {
  return RunInChild([read, write] {
    park_at_read = read;
    park_at_write = write;
    FaultPlan plan;
    plan.before_read = CountRead;
    plan.before_write = CountWrite;
    InjectFaults faults(plan);
    std::thread run(RunRegistration);
    run.detach();
    while (!parked) std::this_thread::yield();  // a run that never parks ends the child itself
    CloseAsTheWindowThread();
  });
}

TEST(UnitTableRace, CloseInsideEachReadAndWriteLeavesExactlyWhatWasWritten) {
  ScratchFolder scratch;
  const std::string library = LongLibrary();
  WriteRunFiles(library);
  const ChildEnd whole = RunParked(0, 0);
  ASSERT_EQ(whole.status, 0);
  ASSERT_EQ(ReadFile("scenery.cfg"), library + kSection);
  const int run_reads = std::stoi(ReadFile("reads-before-writes.txt"));
  ASSERT_GT(run_reads, 10);  // the scan takes many reads: most rounds close inside it

  // A close inside a read, of the description or of the library, appends
  // nothing; one inside the n-th write leaves the section's first n records.
  const int section_records = static_cast<int>(std::count(kSection.begin(), kSection.end(), '\n'));
  for (int read = 1; read <= run_reads + section_records; ++read) {
    const bool in_scan = read <= run_reads;
    const int write = in_scan ? 0 : read - run_reads;
    WriteRunFiles(library);
    const ChildEnd end = in_scan ? RunParked(read, 0) : RunParked(0, write);
    SCOPED_TRACE(in_scan ? "close inside read " + std::to_string(read)
                         : "close inside write " + std::to_string(write));
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(end.errors, "");
    EXPECT_EQ(ReadFile("scenery.cfg"), library + FirstRecords(kSection, write));
  }
}

TEST(UnitTableRace, CloseAtRandomMomentsLeavesTheLibraryOrAPrefixOfTheSection) {
  ScratchFolder scratch;
  const std::string library = LongLibrary();
  std::mt19937 random(20261208);
  for (int round = 0; round < 40; ++round) {
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
  }
}

// The scan looks at a record of the filtered read after the read has left
// the table: the window thread's end close must not free it under the scan.
TEST(UnitTableRace, RecordHandedOutStaysReadableThroughTheEndClose) {
  ScratchFolder scratch;
  WriteFile("long.txt", LongLibrary());
  const ChildEnd end = RunInChild([] {
    OpenUnit(1, "long.txt");
    const std::string_view headers[] = {"[Area"};
    std::string_view record;
    ReadRecordStartingWith(1, headers, record);
    CloseAllUnitsAtEnd();
    ExitImmediately(record == "[Area.101]" ? 0 : 1);
  });
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.errors, "");
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
