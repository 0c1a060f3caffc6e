// The modal dialog service: loads one of the program's dialog templates
// into a caller-owned record, takes texts for its controls, shows it as a
// modal box over the main window and reports the button that closed it.
//
// The record mirrors every addressable control: its values are written into
// the box's windows when it opens and read back when it closes. Button
// clicks and edit notifications go to actions; a push button's default
// action ends the box with the button's id as the result.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "runtime/text_field.h"

namespace scenreg {

// Template ids of the program's dialog boxes, and the controls the run uses.
inline constexpr std::int32_t kWelcomeDialog = 101;
inline constexpr std::int32_t kSorryDialog = 102;
inline constexpr std::int32_t kNoSecondConfigDialog = 103;  // shown by no run
inline constexpr std::int32_t kWelcomeTextControl = 1003;
inline constexpr std::int32_t kContinueButton = 1;      // also "OK"
inline constexpr std::int32_t kNoThanksButton = 2;      // also what Escape presses
inline constexpr std::int32_t kUnaddressedId = 0xFFFF;  // texts the program never sets

// Logical values: true is -1, false is 0; only the lowest bit is tested.
using Logical = std::int32_t;
inline constexpr Logical kTrue = -1;
inline constexpr Logical kFalse = 0;
constexpr bool IsTrue(Logical value) {
  return (value & 1) != 0;
}
constexpr Logical ToLogical(bool value) {
  return value ? kTrue : kFalse;
}

// Handles of the platform, opaque here.
using WindowHandle = void*;
using ModuleHandle = void*;

enum ControlKind : std::int32_t {
  kStaticText = 1,
  kGroupBox = 2,
  kPushButton = 3,
  kCheckBox = 4,
  kRadioButton = 5,
  kEditBox = 6,
  kScrollBar = 7,
  kListBox = 8,
  kComboBox = 9,
  kDropDownList = 10,
  kSpinControl = 11,
  kSlider = 12,
  kProgressBar = 13,
  kTabControl = 14,
};

// Why an action is called. For init the id is the template id, for the
// others the control's id.
enum DialogReason : std::int32_t {
  kReasonInit = 0,
  kReasonClicked = -4,
  kReasonChanged = -6,
  kReasonUpdate = -7,
  kReasonGotFocus = -18,
  kReasonLostFocus = -19,
};

struct DialogRecord;
using DialogAction = void (*)(DialogRecord& record, std::int32_t& id, std::int32_t& reason);

void DoNothing(DialogRecord& record, std::int32_t& id, std::int32_t& reason);
// Sets the record's result to the id and closes the box.
void CloseWithButtonId(DialogRecord& record, std::int32_t& id, std::int32_t& reason);

// Edit box actions, in this order.
enum EditAction : std::size_t { kOnChanged, kOnUpdate, kOnGotFocus, kOnLostFocus };

struct ControlRecord {
  ControlKind kind = kStaticText;
  std::int32_t id = 0;
  Logical needs_write = kFalse;
  Logical sharing_id = kFalse;  // never written, read back or set
  Logical enabled = kTrue;
  TextField<256> text;
  // Push button: clicked. Edit box: see EditAction. Static text: none.
  std::array<DialogAction, 4> actions{};
  std::int32_t action_count = 0;
};

struct DialogRecord {
  std::int32_t template_id = 0;
  WindowHandle window = nullptr;  // while the box is shown
  std::int32_t result = 0;
  Logical changed = kFalse;  // some value changed since the last write
  Logical writing = kFalse;  // commands that arrive meanwhile are ignored
  DialogAction dialog_action = DoNothing;
  std::int32_t control_count = 0;
  std::unique_ptr<ControlRecord[]> controls;
  ModuleHandle resource_module = nullptr;  // null: the program's own
  Logical loaded = kFalse;                 // the template was found and read whole
};

// Builds the record from the template. False, with no controls, when the
// resources hold no such template or its bytes are damaged. A control of an
// unsupported style ends the program through ReportUnsupportedStyle.
std::int32_t LoadDialog(std::int32_t& template_id, DialogRecord& record);

struct TemplateItem;
struct ControlClassification {
  bool recorded = false;
  ControlKind kind = kStaticText;
  std::string_view unsupported_style;  // not empty: the program must stop
};
// Whether a template item gets a control record and of which kind, or the
// style that makes the box impossible to show.
ControlClassification ClassifyControl(const TemplateItem& item);

// The part of LoadDialog after the lookup: reads the template bytes into
// the record. False for bytes that end before the template does.
bool BuildDialogRecord(std::span<const std::uint8_t> bytes, DialogRecord& record);

// Stores the first min(length, 256) characters as the control's text. The
// selector, when given, must be -1 (or -2 for static texts and push
// buttons, -5 for edit boxes). False for an unknown id, an id that several
// controls share, or a selector the control does not take.
std::int32_t SetControlText(DialogRecord& record, std::int32_t& control_id, const char* text,
                            std::int32_t length, const std::int32_t* selector = nullptr);

// Shows the box modally; the record's result, or -1 when it cannot be shown.
std::int32_t RunDialogModal(DialogRecord& record);

// Reads the values back and ends the box.
void CloseDialog(DialogRecord& record);

// Writes the controls that need it (every one when all is true) into the
// shown box's windows.
void FlushDialog(DialogRecord& record, bool all);

// The warning box about a control style the service cannot handle, then the
// orderly stop.
[[noreturn]] void ReportUnsupportedStyle(std::int32_t control_id, std::string_view style_name);

// "Invalid style <name> used for control <id>".
std::string UnsupportedStyleText(std::int32_t control_id, std::string_view style_name);
inline constexpr std::string_view kUnsupportedStyleCaption = "Unsupported Dialog Control Style";

}  // namespace scenreg
