// The remover on whole runs, each in a child process (a run ends its
// process): register then remove gives back the library byte for byte, only
// the add-on's own sections go, and a kill at any moment leaves the old or
// the new library.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "registration/addon_sections.h"
#include "registration/registration_run.h"
#include "registration/removal_run.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::Areas;
using testing::AreaSection;
using testing::FirstRecords;
using testing::ReadFile;
using testing::RealWorldFolder;
using testing::ScratchFolder;
using testing::WriteFile;

constexpr const char* kLibrary = "scenery.cfg";
constexpr const char* kDescription = "scconf.txt";
const std::string& kSample = testing::kSampleDescription;

struct RunEnd {
  int status = -1;
  std::string errors;
};

RunEnd RunInChild(void (*run)()) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::freopen("errors.txt", "w", stderr);
    run();
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("errors.txt")};
}

void Register(std::string_view description) {
  WriteFile(kDescription, description);
  ASSERT_EQ(RunInChild(RunRegistration).status, 0);
}

void Remove(std::string_view description) {
  WriteFile(kDescription, description);
  const RunEnd end = RunInChild(RunRemoval);
  ASSERT_EQ(end.status, 0) << end.errors;
  ASSERT_EQ(end.errors, "");
}

TEST(Removal, RegisterThenRemoveGivesBackEveryByte) {
  const struct {
    const char* name;
    std::string library;
  } kLibraries[] = {
      {"LF library", ReadFile(RealWorldFolder() / "fs9-default-120-areas.cfg")},
      {"CR LF library", ReadFile(RealWorldFolder() / "fs9-resource-titles-124-areas.cfg")},
      {"bundled sample", ReadFile(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                  "sample" / "simulator" / "scenery.cfg")},
      {"last line without line end", Areas(1, 12) + "Remote="},
      {"last line a header without line end", Areas(1, 12) + "[General]"},
      {"LF areas", Areas(1, 13, "\n")},
  };
  for (const auto& [name, library] : kLibraries) {
    SCOPED_TRACE(name);
    ASSERT_GT(library.size(), 100u);
    ScratchFolder scratch;
    WriteFile(kLibrary, library);
    Register(kSample);
    const std::string registered = ReadFile(kLibrary);
    ASSERT_NE(registered, library);
    // The replaced library keeps the old one's attributes.
    namespace fs = std::filesystem;
    const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(kLibrary, perms);
    Remove(kSample);
    EXPECT_EQ(ReadFile(kLibrary), library);
    EXPECT_EQ(fs::status(kLibrary).permissions(), perms);
    EXPECT_EQ(ReadFile(kLibraryBackupFileName), registered);
    EXPECT_FALSE(std::filesystem::exists(kNewLibraryFileName));

    // A second add-on registered after the first stays exactly as the
    // registration wrote it; then the first goes alone.
    const std::string other = "Other Field\r\nAddon Scenery\\Other\r\n";
    Register(kSample);
    Register(other);
    const std::string both = ReadFile(kLibrary);
    Remove(kSample);
    // A last line that lost its line end to the first section gets it back,
    // as a line follows now.
    const std::string restored = library.ends_with('\n') ? library : library + "\r\n";
    EXPECT_EQ(ReadFile(kLibrary), restored + both.substr(registered.size()));
    Remove(other);
    EXPECT_EQ(ReadFile(kLibrary), restored);
    // The backups of the earlier removals were only set aside meanwhile.
    EXPECT_FALSE(std::filesystem::exists(kPreviousBackupFileName));
  }
}

TEST(Removal, TakesOnlyTheAddonsOwnSections) {
  const std::string user = Areas(1, 12);
  const std::string ours = AreaSection(113);
  const std::string killed = FirstRecords(ours, 4);
  const std::string theirs = AreaSection(114, "Sample Field", "Addon Scenery\\Elsewhere");
  // The last line as it was before the registration: without a line end.
  const std::string open = user + "Remote=";
  // Up to 20 bytes before the edge of the remover's 64 KiB read blocks.
  const std::string up_to_block_edge = user + std::string(65536 - user.size() - 22, ';') + "\r\n";
  const std::string folder_line = "Local=Addon Scenery\\Sample" + std::string(110, ' ');
  // The add-on's title with a folder line of the user's own making.
  const auto with_folder_line = [&](std::string_view line) {
    return killed + std::string(line) + "\r\nActive=TRUE\r\n";
  };
  const std::string loose_keys = with_folder_line("local=Addon Scenery\\Elsewhere") +
                                 with_folder_line("LOCAL=Addon Scenery\\Elsewhere") +
                                 with_folder_line(" Local=Addon Scenery\\Elsewhere") +
                                 with_folder_line("Local =Addon Scenery\\Elsewhere") +
                                 with_folder_line("\tlocal\t=");
  const struct {
    const char* name;
    std::string library;
    std::string removed;
  } kCases[] = {
      {"registered twice", user + ours + ours, user},
      {"registration stopped after its title", user + killed, user},
      {"same title, other folder", user + theirs + ours, user + theirs},
      {"other folder last", user + ours + theirs, user + theirs},
      {"folder in other case",
       user + AreaSection(113, "Sample Field", "ADDON scenery\\SAMPLE   ") + "[General]\r\n",
       user + "[General]\r\n"},
      {"folder keys read as the simulator reads them", user + loose_keys + ours, user + loose_keys},
      {"the add-on's folder behind a loose key",
       user + with_folder_line("  lOcAl\t = Addon Scenery\\Sample "), user},
      {"title and only a Remote= line", user + with_folder_line("Remote="),
       user + with_folder_line("Remote=")},
      {"stopped registration, then empty lines", user + killed + "\r\n\n" + ours, user},
      {"stopped registration's shape, then a line of one blank", user + killed + " \r\n",
       user + killed + " \r\n"},
      {"stopped registration's shape without the blank lines", user + killed.substr(6),
       user + killed.substr(6)},
      {"header not as the registration writes it",
       user + " \r\n \r\n[area.113]\r\nTitle=Sample Field\r\n",
       user + " \r\n \r\n[area.113]\r\nTitle=Sample Field\r\n"},
      {"indented headers end the section",
       user + ours + "  [Area.200]\r\nTitle=Mine\r\n" + ours + "\t[General]\r\n",
       user + "  [Area.200]\r\nTitle=Mine\r\n\t[General]\r\n"},
      {"a long line whose first text is no bracket",
       user + ours + std::string(130, ' ') + std::string(1, '\0') + "[General]\r\n" + theirs,
       user + theirs},
      {"an end mark ends the section", user + ours + "\x1A\r\nTitle=Mine\r\n",
       user + "\x1A\r\nTitle=Mine\r\n"},
      {"a longer title", user + AreaSection(113, "Sample Field x"),
       user + AreaSection(113, "Sample Field x")},
      {"no library lines", "", ""},
      {"a section across a read block's edge", up_to_block_edge + ours + theirs,
       up_to_block_edge + theirs},
      // Only blanks may follow a folder line's first 128 columns.
      {"blanks past a folder line's first 128 columns",
       user + killed + folder_line + std::string(200, ' ') + "\r\n", user},
      {"text past a folder line's first 128 columns", user + killed + folder_line + "x\r\n",
       user + killed + folder_line + "x\r\n"},
      // The line before lost its line end to the first blank: it gets it
      // back when anything follows, and no other line changes.
      {"joined, then a header", open + ours + "[Area.114]\r\n", open + "\r\n[Area.114]\r\n"},
      {"joined, then an empty line", open + ours + "\r\n[Area.114]", open + "\r\n[Area.114]"},
      {"joined, then the general section", open + ours + "[General]\n", open + "\r\n[General]\n"},
      {"joined, then an end mark", open + ours + "\x1A", open + "\r\n\x1A"},
      {"joined, then another registration", open + ours + theirs, open + "\r\n" + theirs},
      {"joined to a header", user + "[General]" + ours + theirs, user + "[General]\r\n" + theirs},
      {"joined to a section that goes too",
       user + killed.substr(6) + "Local=Addon Scenery\\Sample" + ours + "[Area.115]\r\n",
       user + "[Area.115]\r\n"},
  };
  for (const auto& [name, library, removed] : kCases) {
    SCOPED_TRACE(name);
    ScratchFolder scratch;
    WriteFile(kLibrary, library);
    Remove(kSample);
    EXPECT_EQ(ReadFile(kLibrary), removed);
    // Nothing removed: no file is written at all.
    EXPECT_EQ(std::filesystem::exists(kLibraryBackupFileName), library != removed);
  }
}

TEST(Removal, NothingToRemoveCreatesNothingAndABadDescriptionIsFatal) {
  const struct {
    const char* name;
    const char* description;  // null: no scconf.txt
    int status;
  } kCases[] = {
      {"no library", kSample.c_str(), 0},
      {"no scconf.txt", nullptr, 29},
      {"one line", "Sample Field\r\n", 24},
      {"empty", "", 24},
  };
  for (const auto& [name, description, status] : kCases) {
    SCOPED_TRACE(name);
    ScratchFolder scratch;
    if (description != nullptr) WriteFile(kDescription, description);
    const RunEnd end = RunInChild(RunRemoval);
    EXPECT_EQ(end.status, status) << end.errors;
    if (status != 0) {
      EXPECT_NE(end.errors.find(", unit 2, file " + scratch.FullPath(kDescription)),
                std::string::npos)
          << end.errors;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}),
              (description != nullptr) + 1)  // scconf.txt and errors.txt
        << "a file was created";
  }
}

// Killed at any moment, the library holds all of its old bytes or all of
// its new ones, and the next run finishes the work and leaves no new file.
TEST(Removal, KilledAtAnyMomentLeavesTheOldOrTheNewLibrary) {
  ScratchFolder scratch;
  const std::string library = Areas(1, 999);
  const std::string registered = library + AreaSection(999);
  WriteFile(kDescription, kSample);
  // The kills spread over the time a whole run takes.
  WriteFile(kLibrary, registered);
  const auto started = std::chrono::steady_clock::now();
  Remove(kSample);
  const auto run_time = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  constexpr int kKills = 40;
  int old_seen = 0;
  int new_seen = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    WriteFile(kLibrary, registered);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      std::freopen("/dev/null", "w", stderr);
      RunRemoval();
    }
    usleep(static_cast<useconds_t>(run_time.count() * kill / kKills));
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string after = ReadFile(kLibrary);
    ASSERT_TRUE(after == registered || after == library) << "kill " << kill;
    (after == library ? new_seen : old_seen)++;
    Remove(kSample);
    // Compared as a whole: a diff of two large libraries in each of the
    // rounds would take longer than the test may.
    ASSERT_TRUE(ReadFile(kLibrary) == library) << "kill " << kill;
    ASSERT_FALSE(std::filesystem::exists(kNewLibraryFileName));
    ASSERT_FALSE(std::filesystem::exists(kPreviousBackupFileName));
  }
  std::printf("kills: %d before the replace, %d after\n", old_seen, new_seen);
}

}  // namespace
}  // namespace scenreg
