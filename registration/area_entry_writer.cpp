#include "registration/area_entry_writer.h"

#include <algorithm>

#include "registration/library_scan.h"
#include "runtime/diagnostics.h"
#include "runtime/record_file.h"

namespace scenreg {
namespace {

constexpr int kNumberWidth = 3;
constexpr std::int64_t kLargestAreaNumber = 999;

// Wide enough that a count or number at the top of the 32-bit range cannot
// overflow here.
std::int64_t NewAreaNumber(std::int32_t header_count, std::int32_t largest_area_number) {
  return std::int64_t{std::max(header_count, largest_area_number)} + 1;
}

}  // namespace

AreaEntryResult WriteAreaEntry(std::int32_t header_count, std::int32_t largest_area_number,
                               const TextField<20>& title, const TextField<80>& local_path) {
  const std::int64_t area_number = NewAreaNumber(header_count, largest_area_number);
  // A number that does not fit would be written as "***": a section the
  // simulator cannot read and that misleads the numbering of later runs.
  // Refuse before the library is touched, while the unit still names it.
  if (area_number > kLargestAreaNumber) {
    ReportFileError(kLibraryUnit, kErrOutputConversion, kError);
    return AreaEntryResult::kRefusedNumberTooLarge;
  }
  const auto number = static_cast<std::int32_t>(area_number);

  CloseUnit(kLibraryUnit);
  OpenUnit(kLibraryUnit, kLibraryFileName, "formatted", "append");
  // Nothing is added before the section: a last line without a line end
  // takes the first blank record as its tail.
  WriteRecord(kLibraryUnit, {CharItem(" ", 1)});
  WriteRecord(kLibraryUnit, {CharItem(" ", 1)});
  WriteRecord(kLibraryUnit, {TextItem("[Area."), IntItem(number, kNumberWidth), TextItem("]")});
  WriteRecord(kLibraryUnit, {TextItem("Title="), CharItem(TrimmedText(title.view()))});
  WriteRecord(kLibraryUnit, {TextItem("Local="), CharItem(TrimmedText(local_path.view()))});
  WriteRecord(kLibraryUnit, {TextItem("Active=TRUE")});
  WriteRecord(kLibraryUnit, {TextItem("Required=FALSE")});
  WriteRecord(kLibraryUnit, {TextItem("Layer="), IntItem(number, kNumberWidth)});
  WriteRecord(kLibraryUnit, {TextItem("Remote=")});
  CloseUnit(kLibraryUnit);
  return AreaEntryResult::kWritten;
}

}  // namespace scenreg
