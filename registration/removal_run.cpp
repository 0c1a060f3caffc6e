#include "registration/removal_run.h"

#include <algorithm>
#include <array>
#include <span>

#include "registration/addon_description.h"
#include "registration/addon_sections.h"
#include "registration/library_scan.h"
#include "registration/registration_run.h"
#include "runtime/program_shell.h"
#include "runtime/record_file.h"

namespace scenreg {
namespace {

constexpr int kNewLibraryUnit = 3;

// The run's values live for the whole process, as the registration's do.
AddonDescription description;
AddonSectionSearch search;
std::array<char, 65536> block;

[[noreturn]] void EndRun() {
  OrderlyStop("", 0, 0, 0, 0);
}

// The next block of the library; a failed read ends the program, so that a
// library is never replaced by the part of it that could be read.
std::string_view ReadLibraryBlock() {
  std::size_t count = 0;
  ReadBytes(kLibraryUnit, block, count);
  return {block.data(), count};
}

// Second pass: every byte but the ranges' into the new library.
void CopyAllBut(std::span<const ByteRange> ranges) {
  RewindUnit(kLibraryUnit);
  std::uint64_t offset = 0;
  const ByteRange* next = ranges.data();
  const ByteRange* const end = ranges.data() + ranges.size();
  for (std::string_view bytes = ReadLibraryBlock(); !bytes.empty(); bytes = ReadLibraryBlock()) {
    const std::uint64_t block_end = offset + bytes.size();
    while (offset < block_end) {
      // Up to the next range, or the block's end.
      const std::uint64_t keep_end = next != end ? std::min(next->begin, block_end) : block_end;
      if (keep_end > offset) {
        const std::size_t from = static_cast<std::size_t>(offset - (block_end - bytes.size()));
        WriteBytes(kNewLibraryUnit,
                   bytes.substr(from, static_cast<std::size_t>(keep_end - offset)));
        offset = keep_end;
      }
      if (next != end && offset >= next->begin) {
        offset = std::min(next->end, block_end);
        if (offset == next->end) ++next;
      }
    }
  }
}

}  // namespace

void RunRemoval() {
  MakeShellSettings();
  ReadAddonDescription(description, MissingDescription::kFail);

  // No library: nothing to take out, and nothing is created.
  const IoOutcome opened = OpenExistingUnit(kLibraryUnit, kLibraryFileName, kWithExit);
  if (opened == kErrFileNotFound) EndRun();
  if (opened != kIoSuccess) ReportOutcome(opened, kLibraryUnit);

  StartAddonSectionSearch(search, description.title, description.local_path.view());
  for (std::string_view bytes = ReadLibraryBlock(); !bytes.empty(); bytes = ReadLibraryBlock())
    TakeLibraryBytes(search, bytes);
  EndAddonSectionSearch(search);
  if (search.ranges.empty()) {
    // What a killed run left behind goes too.
    RemoveFile(kNewLibraryFileName, kWithExit);
    RemoveFile(kPreviousBackupFileName, kWithExit);
    EndRun();
  }

  // Any failure from here on ends the program with scenery.cfg as it was;
  // the new library's unit deletes its file when it is closed.
  OpenScratchUnit(kNewLibraryUnit, kNewLibraryFileName);
  CopyAllBut(search.ranges);
  ReplaceWithScratchUnit(kNewLibraryUnit, kLibraryUnit, kLibraryBackupFileName,
                         kPreviousBackupFileName);
  // Only now may a close end with 0. A close that races the replace ends
  // with the failure status although the section is gone: the safe way
  // round, since the uninstaller then keeps the add-on's files.
  SetCloseStatus(0);
  EndRun();
}

}  // namespace scenreg
