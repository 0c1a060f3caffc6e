// The dialog boxes where the system is built only for its tests: boxes made
// from the same template bytes as on Windows, held in memory, with a
// scripted user who acts while a box is up.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/dialog_service.h"

namespace scenreg {

struct FakeControlWindow {
  std::int32_t id = 0;
  std::uint16_t class_ordinal = 0;  // 0 for a class given by name
  std::string text;
  bool enabled = true;
  int text_writes = 0;
};

struct FakeDialogWindow {
  std::int32_t template_id = 0;
  WindowHandle owner = nullptr;
  std::vector<FakeControlWindow> controls;
  bool ended = false;
  int change_notifications_handled = 0;  // edit changes that reached an action
};

// Called once for every box shown; without a user no box can be shown.
using FakeUser = std::function<void(FakeDialogWindow& box)>;
void SetFakeUser(FakeUser user);

// The stand-in for the program's main window, the owner of boxes.
WindowHandle FakeMainWindow();
// Null makes the program run without a main window.
void SetFakeMainWindowPresent(bool present);

FakeControlWindow* FindFakeControl(FakeDialogWindow& box, std::int32_t id);

// What a user does: the dialog manager's command for a click, and a text
// typed into an edit box, which reports its change.
void ClickButton(FakeDialogWindow& box, std::int32_t id);
void TypeText(FakeDialogWindow& box, std::int32_t id, const std::string& text);

// The language of a template among the program's resources; 0 when absent.
std::uint16_t TemplateLanguage(std::int32_t template_id);

}  // namespace scenreg
