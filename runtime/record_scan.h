// The filtered read of record file access: a forward pass over a unit that
// delivers only the records beginning with one of a few texts, passing over
// the others in one operation on the unit without copying them into a field.
// Meant for scans of large files of which few records matter.
#pragma once

#include <span>
#include <string_view>

#include "runtime/record_file.h"

namespace scenreg {

// Reads the unit's records up to the next one that begins with one of the
// texts and delivers it without its line end, as a view into the read buffer
// that stays valid until the next operation on the unit. The records passed
// over are read as ReadField reads them: the same reads of the file into the
// same buffer, the same end of file (a record of 0x1A alone included) and the
// same errors, so a pass ends exactly where reading them one by one would.
IoOutcome ReadRecordStartingWith(int unit, std::span<const std::string_view> texts,
                                 std::string_view& record, OnFailure on_failure = kWithoutExit);

}  // namespace scenreg
