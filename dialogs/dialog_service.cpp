#include "dialogs/dialog_service.h"

#include <cstring>
#include <new>

#include "dialogs/dialog_platform.h"
#include "dialogs/dialog_template.h"
#include "runtime/diagnostics.h"
#include "runtime/program_shell.h"

namespace scenreg {
namespace {

constexpr DiagnosticCode kInsufficientMemory = MakeDiagnosticCode(kSevere, 41);

// Style bits that decide a control's kind.
constexpr std::uint32_t kButtonTypeMask = 0xF;
constexpr std::uint32_t kEsMultiline = 0x4;
constexpr std::uint32_t kOwnerDrawFixed = 0x10;     // LBS_ and CBS_
constexpr std::uint32_t kOwnerDrawVariable = 0x20;  // LBS_ and CBS_
constexpr std::uint32_t kComboTypeMask = 0x3;
constexpr std::uint32_t kCbsDropDownList = 0x3;

// Notification codes of WM_COMMAND.
constexpr std::int32_t kButtonClicked = 0;
constexpr std::int32_t kEditSetFocus = 0x100;
constexpr std::int32_t kEditKillFocus = 0x200;
constexpr std::int32_t kEditChange = 0x300;
constexpr std::int32_t kEditUpdate = 0x400;

// The dialog that is running modally, and the one whose message is being
// handled right now; both saved and restored around each use, so that
// nested boxes on one thread find their own record.
DialogRecord* running_modal_dialog = nullptr;
DialogRecord* dialog_in_message = nullptr;

bool SameClassName(const TemplateString& name, std::string_view wanted) {
  if (name.is_ordinal || name.length != wanted.size()) return false;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(name.text.chars[i]) != lower(wanted[i])) return false;
  }
  return true;
}

ControlClassification ClassifyButton(std::uint32_t style) {
  switch (style & kButtonTypeMask) {
    case 0:  // BS_PUSHBUTTON
    case 1:  // BS_DEFPUSHBUTTON
      return {true, kPushButton, {}};
    case 3:  // BS_AUTOCHECKBOX
      return {true, kCheckBox, {}};
    case 4:  // BS_RADIOBUTTON
    case 5:  // BS_3STATE
    case 6:  // BS_AUTO3STATE
    case 9:  // BS_AUTORADIOBUTTON
      return {true, kRadioButton, {}};
    case 7:  // BS_GROUPBOX
      return {true, kGroupBox, {}};
    case 8:
      return {false, kPushButton, "BS_USERBUTTON"};
    case 11:
      return {false, kPushButton, "BS_OWNERDRAW"};
    default:
      return {false, kPushButton, "<unknown>"};
  }
}

}  // namespace

// Controls of classes the service does not know get no record and are never
// addressed; a known class given by name instead of ordinal is one of them.
ControlClassification ClassifyControl(const TemplateItem& item) {
  const TemplateString& name = item.window_class;
  if (!name.is_ordinal) {
    if (SameClassName(name, "msctls_updown32")) return {true, kSpinControl, {}};
    if (SameClassName(name, "msctls_trackbar32")) return {true, kSlider, {}};
    if (SameClassName(name, "msctls_progress32")) return {true, kProgressBar, {}};
    if (SameClassName(name, "SysTabControl32")) return {true, kTabControl, {}};
    return {};
  }
  switch (name.ordinal) {
    case kStaticClass:
      return {true, kStaticText, {}};
    case kButtonClass:
      return ClassifyButton(item.style);
    case kEditClass:
      if (item.style & kEsMultiline) return {false, kEditBox, "ES_MULTILINE"};
      return {true, kEditBox, {}};
    case kScrollBarClass:
      return {true, kScrollBar, {}};
    case kListBoxClass:
      if (item.style & kOwnerDrawFixed) return {false, kListBox, "LBS_OWNERDRAWFIXED"};
      if (item.style & kOwnerDrawVariable) return {false, kListBox, "LBS_OWNERDRAWVARIABLE"};
      return {true, kListBox, {}};
    case kComboBoxClass:
      if (item.style & kOwnerDrawFixed) return {false, kComboBox, "CBS_OWNERDRAWFIXED"};
      if (item.style & kOwnerDrawVariable) return {false, kComboBox, "CBS_OWNERDRAWVARIABLE"};
      if ((item.style & kComboTypeMask) == kCbsDropDownList) return {true, kDropDownList, {}};
      return {true, kComboBox, {}};
    default:
      return {};
  }
}

namespace {

void SetDefaultActions(ControlRecord& control) {
  switch (control.kind) {
    case kPushButton:
      control.actions[0] = CloseWithButtonId;
      control.action_count = 1;
      break;
    case kEditBox:
      control.actions = {DoNothing, DoNothing, DoNothing, DoNothing};
      control.action_count = 4;
      break;
    default:
      control.action_count = 0;
      break;
  }
}

// The kinds whose value is a text; the others are never written or read.
bool HasTextValue(ControlKind kind) {
  return kind == kStaticText || kind == kPushButton || kind == kEditBox;
}

bool TakesSelector(ControlKind kind, const std::int32_t* selector) {
  if (!selector || *selector == -1) return true;
  if (*selector == -2) return kind == kStaticText || kind == kPushButton;
  if (*selector == -5) return kind == kEditBox;
  return false;
}

ControlRecord* FirstControlWithId(DialogRecord& record, std::int32_t id) {
  for (std::int32_t i = 0; i < record.control_count; ++i)
    if (record.controls[i].id == id) return &record.controls[i];
  return nullptr;
}

bool IsAddressable(const ControlRecord& control) {
  return !IsTrue(control.sharing_id) && HasTextValue(control.kind);
}

void WriteControl(DialogRecord& record, ControlRecord& control) {
  if (!IsAddressable(control)) return;
  // The NUL goes in place after the last non-blank, or over the 256th
  // character when there is no trailing blank: at most 255 reach the window.
  auto& chars = control.text.chars;
  std::size_t end = TrimmedLength(control.text.view());
  if (end == chars.size()) end = chars.size() - 1;
  const char replaced = chars[end];
  chars[end] = '\0';
  SetControlWindowText(record.window, control.id, chars.data());
  chars[end] = replaced;
  EnableControlWindow(record.window, control.id, IsTrue(control.enabled));
}

void ReadControlBack(DialogRecord& record, ControlRecord& control) {
  if (!IsAddressable(control)) return;
  char buffer[256] = {};
  std::size_t length = GetControlWindowText(record.window, control.id, buffer);
  if (length > sizeof buffer - 1) length = sizeof buffer - 1;
  AssignText(control.text.span(), std::string_view(buffer, strnlen(buffer, length)));
  control.enabled = ToLogical(IsControlWindowEnabled(record.window, control.id));
}

void ClearRecord(DialogRecord& record, std::int32_t template_id) {
  record.template_id = template_id;
  record.window = nullptr;
  record.result = 1;
  record.changed = kTrue;
  record.writing = kFalse;
  record.dialog_action = DoNothing;
  record.control_count = 0;
  record.controls.reset();
  record.resource_module = nullptr;
  record.loaded = kFalse;
}

}  // namespace

void DoNothing(DialogRecord& /*record*/, std::int32_t& /*id*/, std::int32_t& /*reason*/) {}

void CloseWithButtonId(DialogRecord& record, std::int32_t& id, std::int32_t& /*reason*/) {
  record.result = id;
  CloseDialog(record);
}

bool BuildDialogRecord(std::span<const std::uint8_t> bytes, DialogRecord& record) {
  TemplateCursor cursor{bytes};
  TemplateHeader header;
  if (!ReadTemplateHeader(cursor, header)) return false;
  // A count that the bytes cannot hold is damage; refuse it before taking
  // memory for it.
  if (header.item_count > (bytes.size() - cursor.offset) / kMinimumItemSize) return false;

  std::unique_ptr<ControlRecord[]> controls;
  if (header.item_count > 0) {
    controls.reset(new (std::nothrow) ControlRecord[header.item_count]);
    if (!controls) {
      ReportDiagnostic(kInsufficientMemory, {});
      return false;
    }
  }
  std::int32_t count = 0;
  for (std::uint16_t i = 0; i < header.item_count; ++i) {
    TemplateItem item;
    if (!ReadTemplateItem(cursor, header.extended, item)) return false;
    const ControlClassification classification = ClassifyControl(item);
    const auto id = static_cast<std::int32_t>(item.id);
    if (!classification.unsupported_style.empty())
      ReportUnsupportedStyle(id, classification.unsupported_style);
    if (!classification.recorded) continue;

    ControlRecord& control = controls[count];
    control.kind = classification.kind;
    control.id = id;
    control.needs_write = kTrue;
    control.enabled = kTrue;
    control.text = item.text.text;  // an ordinal text gives blanks
    SetDefaultActions(control);
    for (std::int32_t earlier = 0; earlier < count; ++earlier) {
      if (controls[earlier].id != id) continue;
      controls[earlier].sharing_id = kTrue;
      control.sharing_id = kTrue;
    }
    ++count;
  }
  record.controls = std::move(controls);
  record.control_count = count;
  record.loaded = kTrue;
  return true;
}

std::int32_t LoadDialog(std::int32_t& template_id, DialogRecord& record) {
  ClearRecord(record, template_id);
  PrepareControlClasses();
  const std::span<const std::uint8_t> bytes = FindDialogTemplate(nullptr, template_id);
  if (bytes.empty()) return kFalse;
  return ToLogical(BuildDialogRecord(bytes, record));
}

std::int32_t SetControlText(DialogRecord& record, std::int32_t& control_id, const char* text,
                            std::int32_t length, const std::int32_t* selector) {
  ControlRecord* control = FirstControlWithId(record, control_id);
  if (!control || IsTrue(control->sharing_id)) return kFalse;
  if (record.window && !IsTrue(control->needs_write)) ReadControlBack(record, *control);

  Logical stored = kFalse;
  if (HasTextValue(control->kind) && TakesSelector(control->kind, selector)) {
    std::size_t count = length > 0 && text ? static_cast<std::size_t>(length) : 0;
    if (count > control->text.chars.size()) count = control->text.chars.size();
    AssignText(control->text.span(), std::string_view(text, count));
    stored = kTrue;
  }
  record.changed = kTrue;
  control->needs_write = kTrue;
  // Inside one of this box's messages the flush follows when the message
  // has been handled.
  if (record.window && dialog_in_message != &record) FlushDialog(record, false);
  return stored;
}

void FlushDialog(DialogRecord& record, bool all) {
  if (!record.window) return;
  // Writing a text makes the platform report a change; the flag keeps that
  // report from reaching the actions.
  record.writing = kTrue;
  if (all || IsTrue(record.changed)) {
    record.changed = kFalse;
    for (std::int32_t i = 0; i < record.control_count; ++i) {
      ControlRecord& control = record.controls[i];
      if (!all && !IsTrue(control.needs_write)) continue;
      control.needs_write = kFalse;
      WriteControl(record, control);
    }
  }
  record.writing = kFalse;
}

std::int32_t RunDialogModal(DialogRecord& record) {
  DialogRecord* const enclosing = running_modal_dialog;
  running_modal_dialog = &record;

  WindowHandle owner = nullptr;
  if (enclosing && enclosing->window)
    owner = enclosing->window;
  else if (dialog_in_message && dialog_in_message->window)
    owner = dialog_in_message->window;
  else
    owner = ProgramMainWindow();
  const ModuleHandle module =
      record.resource_module ? record.resource_module : ModuleForOwner(owner);

  // A record whose template was refused is never handed to the platform:
  // the bytes that failed the checks would be read again there.
  const std::int32_t shown =
      IsTrue(record.loaded) ? ShowDialogModal(module, record.template_id, owner) : -1;
  const std::int32_t result = shown == -1 ? -1 : record.result;
  record.window = nullptr;

  running_modal_dialog = enclosing;
  return result;
}

void CloseDialog(DialogRecord& record) {
  if (!record.window) return;
  if (IsModalDialogWindow(record.window)) {
    for (std::int32_t i = 0; i < record.control_count; ++i)
      ReadControlBack(record, record.controls[i]);
    EndModalDialog(record.window);
  } else {
    DestroyDialogWindow(record.window);
  }
  record.window = nullptr;
}

std::string UnsupportedStyleText(std::int32_t control_id, std::string_view style_name) {
  return "Invalid style " + std::string(TrimmedText(style_name)) + " used for control " +
         std::to_string(control_id);
}

void ReportUnsupportedStyle(std::int32_t control_id, std::string_view style_name) {
  ShowStyleWarning(kUnsupportedStyleCaption, UnsupportedStyleText(control_id, style_name));
  OrderlyStop("", 0, 0, 0, 0);
}

void HandleDialogOpened(WindowHandle window) {
  DialogRecord* record = running_modal_dialog;
  if (!record) return;
  DialogRecord* const previous = dialog_in_message;
  dialog_in_message = record;
  record->window = window;
  FlushDialog(*record, true);
  std::int32_t id = record->template_id;
  std::int32_t reason = kReasonInit;
  record->dialog_action(*record, id, reason);
  FlushDialog(*record, false);
  dialog_in_message = previous;
}

bool HandleDialogCommand(std::int32_t control_id, std::int32_t notification) {
  DialogRecord* record = running_modal_dialog;
  if (!record || control_id == 0 || IsTrue(record->writing)) return false;
  const ControlRecord* control = FirstControlWithId(*record, control_id);
  if (!control) return false;

  DialogAction action = nullptr;
  std::int32_t reason = 0;
  if (control->kind == kPushButton && notification == kButtonClicked) {
    action = control->actions[0];
    reason = kReasonClicked;
  } else if (control->kind == kEditBox) {
    switch (notification) {
      case kEditChange:
        action = control->actions[kOnChanged];
        reason = kReasonChanged;
        break;
      case kEditUpdate:
        action = control->actions[kOnUpdate];
        reason = kReasonUpdate;
        break;
      case kEditSetFocus:
        action = control->actions[kOnGotFocus];
        reason = kReasonGotFocus;
        break;
      case kEditKillFocus:
        action = control->actions[kOnLostFocus];
        reason = kReasonLostFocus;
        break;
      default:
        break;
    }
  }
  if (!action) return false;

  DialogRecord* const previous = dialog_in_message;
  dialog_in_message = record;
  std::int32_t id = control->id;
  action(*record, id, reason);
  FlushDialog(*record, false);
  dialog_in_message = previous;
  return true;
}

}  // namespace scenreg
