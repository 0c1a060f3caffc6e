// Shows one of the program's dialog boxes over the main window of the
// program shell, the way the registration run does, so that the end-to-end
// tests can act on the real boxes. The working directory's box.txt names
// the template on its first line; a second line, when present, is put into
// the Welcome box's text control as a 256-character field. The result of
// the modal run is written to result.txt, then the program ends through
// the orderly stop.
#include <cstdio>
#include <cstring>
#include <string>

#include "dialogs/dialog_service.h"
#include "runtime/program_shell.h"
#include "runtime/text_field.h"

namespace scenreg {
namespace {

// One line without its line end; false at the end of the file.
bool ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = 0;
  while ((c = std::fgetc(file)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

DialogRecord showcase_record;

void ShowBox() {
  std::int32_t main_window = MainWindowSelector;
  WindowGeometry geometry{WindowGeometry::kPlaceAndSize, 0, 0, 150, 420};
  SetWindowGeometry(main_window, geometry);
  SetExitMode(kCloseAtOnce);

  std::string id_line, text_line;
  bool has_text = false;
  if (std::FILE* request = std::fopen("box.txt", "rb")) {
    ReadLine(request, id_line);
    has_text = ReadLine(request, text_line);
    std::fclose(request);
  }
  std::int32_t template_id = std::atoi(id_line.c_str());
  LoadDialog(template_id, showcase_record);
  if (has_text) {
    TextField<256> text = MakeTextField<256>(text_line);
    std::int32_t control = kWelcomeTextControl;
    SetControlText(showcase_record, control, text.chars.data(), 256);
  }
  const std::int32_t result = RunDialogModal(showcase_record);
  if (std::FILE* out = std::fopen("result.txt", "wb")) {
    std::fprintf(out, "%d", static_cast<int>(result));
    std::fclose(out);
  }
  OrderlyStop("", 0, 0, 0, 0);
}

}  // namespace
}  // namespace scenreg

int main() {
  scenreg::RunProgramShell(scenreg::ShowBox);
}
