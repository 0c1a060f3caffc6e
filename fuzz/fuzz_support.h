// Shared by the fuzz targets: a private working folder and the records a
// file must read as, cut by the record rules independently of the code under
// test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scenreg::fuzzing {

// Makes a fresh folder the working directory, once per process.
void EnterScratchFolder();

void WriteWholeFile(const char* name, std::string_view bytes);

// The records of the file: split at LF, one CR before the LF dropped, a last
// line without LF still a record, and a record of 0x1A alone ending the file.
std::vector<std::string_view> ExpectedRecords(std::string_view bytes);

}  // namespace scenreg::fuzzing
