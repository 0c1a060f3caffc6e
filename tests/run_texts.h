// The texts a run reads and writes, as the tests build them: the add-on
// description, the scenery library, the section the registration appends,
// and the diagnostic lines the run reports, taken from the catalogue.
// Portable: the native tests and the end-to-end tests share it.
#pragma once

#include <string>
#include <string_view>

namespace scenreg::testing {

inline constexpr std::string_view kSampleTitle = "Sample Field";
inline constexpr std::string_view kSampleFolder = "Addon Scenery\\Sample";
// scconf.txt with a title and a folder but no welcome text: nothing is asked.
inline const std::string kSampleDescription = "Sample Field\r\nAddon Scenery\\Sample\r\n";
// The line by which a scan finds the sample entered.
inline const std::string kSampleTitleLine = "Title=Sample Field\r\n";

// The nine records that the registration appends as the given area number,
// which takes three columns.
std::string AreaSection(int number, std::string_view title = kSampleTitle,
                        std::string_view folder = kSampleFolder);

// The first count records of a text of CR LF records.
std::string FirstRecords(std::string_view records, int count);

// Areas first to last as the simulator writes them: a header, a title, a
// folder, a layer, the active flag and a blank line after each.
std::string Areas(int first, int last, std::string_view line_end = "\r\n");

// A whole library: the general section, then areas 1 to count.
std::string Library(int count);

// The catalogue's line for a failure of the file of a unit, as the run
// reports it.
std::string FileDiagnostic(int number, int unit, std::string_view path);
// The same line as far as the file's name.
std::string FileDiagnosticStart(int number, int unit);
// The catalogue's text for the message number as far as its first value.
std::string MessageText(int number);

}  // namespace scenreg::testing
