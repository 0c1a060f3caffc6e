// What the Windows pieces of the program shell share among themselves.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/program_shell.h"
#include "runtime/shell_texts.h"

namespace scenreg {

// Shell state, written by the window thread during start-up, before the
// program thread exists; read by both threads afterwards. Null or empty
// until made.
HWND MainWindow();
HWND WorkArea();
const std::string& ShellCaption();
DWORD WindowThreadId();

void SetStatusState(StatusState state);

// Creates the program thread suspended, lowers its priority one step below
// normal and resumes it. False when it cannot be made.
bool StartProgramThread(ProgramRun run);

// The status the window thread ends the process with after the quit
// message: the program's own end status when it has recorded one, else the
// quit message's value.
UINT WindowThreadEndStatus(UINT quit_value);

// Registers the console event handler and the processor exception filter;
// later calls do nothing.
void InitialiseRuntime();

// Keeps a copy of the faulting exception record and processor context, so
// that the traceback starts at the fault.
void RememberFault(const EXCEPTION_POINTERS& pointers);

}  // namespace scenreg
