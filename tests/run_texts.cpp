#include "tests/run_texts.h"

#include <cstdio>

#include "runtime/diagnostics.h"

namespace scenreg::testing {
namespace {

std::string Columns(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%3d", number);
  return text;
}

// The catalogue's code for the message number, whatever its severity.
DiagnosticCode CodeOf(int number) {
  for (const CatalogueEntry& entry : MessageCatalogue())
    if (MessageNumberOf(entry.code) == number) return entry.code;
  return MakeDiagnosticCode(kSevere, number);
}

}  // namespace

std::string AreaSection(int number, std::string_view title, std::string_view folder) {
  const std::string columns = Columns(number);
  return " \r\n \r\n[Area." + columns + "]\r\nTitle=" + std::string(title) +
         "\r\nLocal=" + std::string(folder) +
         "\r\nActive=TRUE\r\nRequired=FALSE\r\nLayer=" + columns + "\r\nRemote=\r\n";
}

std::string FirstRecords(std::string_view records, int count) {
  std::size_t end = 0;
  for (int record = 0; record < count; ++record) end = records.find("\r\n", end) + 2;
  return std::string(records.substr(0, end));
}

std::string Areas(int first, int last, std::string_view line_end) {
  const std::string end(line_end);
  std::string text;
  for (int area = first; area <= last; ++area) {
    char header[32];
    std::snprintf(header, sizeof header, "[Area.%03d]", area);
    const std::string n = std::to_string(area);
    text += header + end + "Title=Area " + n + end + "Local=Scenery\\" + n + end + "Layer=" + n +
            end + "Active=TRUE" + end + end;
  }
  return text;
}

std::string Library(int count) {
  return "[General]\r\nTitle=FS9 World Scenery\r\nClean_on_Exit=TRUE\r\n\r\n" + Areas(1, count);
}

std::string FileDiagnostic(int number, int unit, std::string_view path) {
  const DiagnosticArg args[] = {unit, path};
  return FormatDiagnosticLine(CodeOf(number), args);
}

std::string FileDiagnosticStart(int number, int unit) {
  const std::string line = FileDiagnostic(number, unit, "");
  return line.substr(0, line.size() - 2);  // without its line end
}

std::string MessageText(int number) {
  const std::string_view text = LookUpMessage(CodeOf(number));
  return std::string(text.substr(0, text.find('%')));
}

}  // namespace scenreg::testing
