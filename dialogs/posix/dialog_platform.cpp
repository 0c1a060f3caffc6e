// The dialog platform for the tests' POSIX build: templates come from the
// resource file that the resource compiler made from the very script the
// Windows program carries, and boxes are held in memory.
#include "dialogs/dialog_platform.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dialogs/dialog_template.h"
#include "dialogs/posix/fake_dialog_windows.h"

namespace scenreg {

// The compiled resource file, embedded by the build.
extern const std::uint8_t kDialogTemplateResources[];
extern const std::size_t kDialogTemplateResourcesSize;

namespace {

constexpr std::uint16_t kResourceTypeDialog = 5;
constexpr std::int32_t kEditChange = 0x300;
constexpr std::int32_t kButtonClicked = 0;

FakeUser fake_user;
char main_window_stand_in;
bool main_window_present = true;

struct ResourceEntry {
  std::span<const std::uint8_t> data;
  std::uint16_t language = 0;
};

std::uint32_t Dword(std::span<const std::uint8_t> bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// A resource file is a row of entries: data size, header size, type and
// name (each 0xFFFF and an ordinal here), then the header's fixed tail with
// the language at offset 6 after the names, then the data, padded to 4.
ResourceEntry FindResourceEntry(std::uint16_t type, std::int32_t name) {
  const std::span<const std::uint8_t> file(kDialogTemplateResources, kDialogTemplateResourcesSize);
  std::size_t at = 0;
  while (file.size() - at >= 32) {
    const std::uint32_t data_size = Dword(file, at);
    const std::uint32_t header_size = Dword(file, at + 4);
    if (header_size < 32 || header_size > file.size() - at ||
        data_size > file.size() - at - header_size)
      break;
    if (Word(file, at + 8) == 0xFFFF && Word(file, at + 10) == type &&
        Word(file, at + 12) == 0xFFFF && Word(file, at + 14) == name)
      return {file.subspan(at + header_size, data_size), Word(file, at + 22)};
    at += (header_size + data_size + 3) & ~std::size_t{3};
  }
  return {};
}

FakeDialogWindow* BoxOf(WindowHandle window) {
  return static_cast<FakeDialogWindow*>(window);
}

}  // namespace

void SetFakeUser(FakeUser user) {
  fake_user = std::move(user);
}

WindowHandle FakeMainWindow() {
  return &main_window_stand_in;
}

void SetFakeMainWindowPresent(bool present) {
  main_window_present = present;
}

FakeControlWindow* FindFakeControl(FakeDialogWindow& box, std::int32_t id) {
  for (FakeControlWindow& control : box.controls)
    if (control.id == id) return &control;
  return nullptr;
}

void ClickButton(FakeDialogWindow& /*box*/, std::int32_t id) {
  HandleDialogCommand(id, kButtonClicked);
}

void TypeText(FakeDialogWindow& box, std::int32_t id, const std::string& text) {
  if (FakeControlWindow* control = FindFakeControl(box, id)) control->text = text;
  if (HandleDialogCommand(id, kEditChange)) ++box.change_notifications_handled;
}

std::uint16_t TemplateLanguage(std::int32_t template_id) {
  return FindResourceEntry(kResourceTypeDialog, template_id).language;
}

void PrepareControlClasses() {}

std::span<const std::uint8_t> FindDialogTemplate(ModuleHandle /*module*/,
                                                 std::int32_t template_id) {
  if (template_id < 0 || template_id > 0xFFFF) return {};
  return FindResourceEntry(kResourceTypeDialog, template_id).data;
}

WindowHandle ProgramMainWindow() {
  return main_window_present ? FakeMainWindow() : nullptr;
}

ModuleHandle ModuleForOwner(WindowHandle /*owner*/) {
  return nullptr;
}

std::int32_t ShowDialogModal(ModuleHandle module, std::int32_t template_id, WindowHandle owner) {
  const std::span<const std::uint8_t> bytes = FindDialogTemplate(module, template_id);
  if (bytes.empty() || !fake_user) return -1;
  FakeDialogWindow box;
  box.template_id = template_id;
  box.owner = owner;
  TemplateCursor cursor{bytes};
  TemplateHeader header;
  if (!ReadTemplateHeader(cursor, header)) return -1;
  for (std::uint16_t i = 0; i < header.item_count; ++i) {
    TemplateItem item;
    if (!ReadTemplateItem(cursor, header.extended, item)) return -1;
    FakeControlWindow control;
    control.id = static_cast<std::int32_t>(item.id);
    control.class_ordinal = item.window_class.is_ordinal ? item.window_class.ordinal : 0;
    if (!item.text.is_ordinal)
      control.text.assign(item.text.text.chars.data(),
                          item.text.length < 256 ? item.text.length : 256);
    box.controls.push_back(control);
  }
  HandleDialogOpened(&box);
  // A copy: the user may show a box of its own from inside.
  const FakeUser user = fake_user;
  user(box);
  return 0;
}

bool IsModalDialogWindow(WindowHandle /*window*/) {
  return true;
}

void EndModalDialog(WindowHandle window) {
  BoxOf(window)->ended = true;
}

void DestroyDialogWindow(WindowHandle window) {
  BoxOf(window)->ended = true;
}

void SetControlWindowText(WindowHandle window, std::int32_t control_id, const char* text) {
  FakeDialogWindow& box = *BoxOf(window);
  FakeControlWindow* control = FindFakeControl(box, control_id);
  if (!control) return;
  control->text = text;
  ++control->text_writes;
  // As an edit control does: a new text is reported as a change, at once.
  if (control->class_ordinal == kEditClass && HandleDialogCommand(control_id, kEditChange))
    ++box.change_notifications_handled;
}

std::size_t GetControlWindowText(WindowHandle window, std::int32_t control_id,
                                 std::span<char, 256> buffer) {
  const FakeControlWindow* control = FindFakeControl(*BoxOf(window), control_id);
  const std::string text = control ? control->text : std::string();
  const std::size_t length = text.size() < buffer.size() - 1 ? text.size() : buffer.size() - 1;
  std::memcpy(buffer.data(), text.data(), length);
  buffer[length] = '\0';
  return length;
}

void EnableControlWindow(WindowHandle window, std::int32_t control_id, bool enabled) {
  if (FakeControlWindow* control = FindFakeControl(*BoxOf(window), control_id))
    control->enabled = enabled;
}

bool IsControlWindowEnabled(WindowHandle window, std::int32_t control_id) {
  const FakeControlWindow* control = FindFakeControl(*BoxOf(window), control_id);
  return control && control->enabled;
}

void ShowStyleWarning(std::string_view caption, std::string_view text) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
}

}  // namespace scenreg
