// Shared by the fuzz targets: the file they read, served from memory through
// the file-system seam, and the records it must read as, cut by the record
// rules independently of the code under test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scenreg::fuzzing {

// Makes the named file hold exactly these bytes for the record code: the
// seam's table is replaced, once per process, by one that keeps the file
// in memory, so the same record code runs without a system call per input.
// Reads deliver all the bytes asked for but at the end, as the platform's do;
// any other name is not found. With SCENREG_FUZZ_DISK set in the
// environment the bytes go to a real file in a fresh folder under the
// system's temp folder instead, through the platform's own table.
void ServeFile(const char* name, std::string_view bytes);

// The records of the file: split at LF, one CR before the LF dropped, a last
// line without LF still a record, and a record of 0x1A alone ending the file.
std::vector<std::string_view> ExpectedRecords(std::string_view bytes);

}  // namespace scenreg::fuzzing
