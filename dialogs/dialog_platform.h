// The platform side of the dialog service: template lookup, the box and its
// control windows. One implementation per platform; the Windows one puts
// the dialog manager behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "dialogs/dialog_service.h"

namespace scenreg {

// Registers the common control classes before a template is read.
void PrepareControlClasses();

// The bytes of the dialog template with the id in the module (null: the
// program's own); empty when there is none.
std::span<const std::uint8_t> FindDialogTemplate(ModuleHandle module, std::int32_t template_id);

// The owner of a box when no dialog of the service is at hand: the
// program's main window, or null when there is none.
WindowHandle ProgramMainWindow();
// The module a box is looked up in when its record names none: the owner's,
// or the program's own when there is no owner.
ModuleHandle ModuleForOwner(WindowHandle owner);

// Shows the template modally over the owner and returns when the box has
// been ended; -1 when it could not be shown. The box reports to
// HandleDialogOpened and HandleDialogCommand while it is up.
std::int32_t ShowDialogModal(ModuleHandle module, std::int32_t template_id, WindowHandle owner);

// A modal box of the dialog manager (class "#32770"), as opposed to a
// window that is simply destroyed.
bool IsModalDialogWindow(WindowHandle window);
void EndModalDialog(WindowHandle window);
void DestroyDialogWindow(WindowHandle window);

// The control windows, by id. The text is NUL-terminated; reading gives at
// most 255 characters and the NUL.
void SetControlWindowText(WindowHandle window, std::int32_t control_id, const char* text);
std::size_t GetControlWindowText(WindowHandle window, std::int32_t control_id,
                                 std::span<char, 256> buffer);
void EnableControlWindow(WindowHandle window, std::int32_t control_id, bool enabled);
bool IsControlWindowEnabled(WindowHandle window, std::int32_t control_id);

// A warning box without owner; returns when the user has dismissed it.
void ShowStyleWarning(std::string_view caption, std::string_view text);

// What the box reports back, on the thread that shows it. The running
// modal dialog is the record these belong to.
void HandleDialogOpened(WindowHandle window);
// True when an action handled the command. Notification codes are the
// platform's: BN_CLICKED 0, EN_SETFOCUS 0x100, EN_KILLFOCUS 0x200,
// EN_CHANGE 0x300, EN_UPDATE 0x400.
bool HandleDialogCommand(std::int32_t control_id, std::int32_t notification);

}  // namespace scenreg
