// The area entry writer: appends the add-on's numbered area section to the
// scenery library after a scan that recognised the library and did not find
// the add-on.
#pragma once

#include <cstdint>

#include "runtime/text_field.h"

namespace scenreg {

enum class AreaEntryResult {
  kWritten,
  // The new area number does not fit the three columns of the header and
  // "Layer=" fields. Nothing was written, the library is unchanged and still
  // open, and output conversion error 63 has been reported for it.
  kRefusedNumberTooLarge,
};

// Expects scenery.cfg open as the library unit from the scan. The section is
// numbered one after the larger of the largest area number and the header
// count, so that it is a number no header carries.
// Closes the unit, reopens it for appending, writes the nine records of the
// section and closes it again. Every file failure on the way ends the program.
AreaEntryResult WriteAreaEntry(std::int32_t header_count, std::int32_t largest_area_number,
                               const TextField<20>& title, const TextField<80>& local_path);

}  // namespace scenreg
