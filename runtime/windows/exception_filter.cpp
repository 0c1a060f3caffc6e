// The run-time's once-only initialisation, and what it registers: the
// filter that turns a processor exception into a severe diagnostic, and the
// handler of console events.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "runtime/diagnostics.h"
#include "runtime/processor_exceptions.h"
#include "runtime/record_file.h"
#include "runtime/shell_platform.h"
#include "runtime/windows/shell_internal.h"
#include "runtime/windows/system_library.h"

namespace scenreg {
namespace {

std::once_flag runtime_initialised;
LPTOP_LEVEL_EXCEPTION_FILTER earlier_filter = nullptr;

struct FaultReport {
  DWORD exception_code;
  std::uint32_t sse_status;
};

std::uint32_t SseStatus(const CONTEXT& context) {
#ifdef _WIN64
  return context.MxCsr;
#else
  // The FXSAVE area: MXCSR at byte 24, present when the context has it.
  if ((context.ContextFlags & CONTEXT_EXTENDED_REGISTERS) != CONTEXT_EXTENDED_REGISTERS) return 0;
  std::uint32_t mxcsr = 0;
  static_assert(sizeof context.ExtendedRegisters >= 28);
  std::memcpy(&mxcsr, context.ExtendedRegisters + 24, sizeof mxcsr);
  return mxcsr;
#endif
}

// A program that catches the matching signal itself handles the exception
// there.
bool HasOwnSignalHandler(int signal_number) {
  if (signal_number == 0) return false;
  const auto handler = std::signal(signal_number, SIG_DFL);
  std::signal(signal_number, handler);
  return handler != SIG_DFL && handler != SIG_IGN && handler != SIG_ERR;
}

void ReportFault(const FaultReport& report) {
  const ExceptionArgs exception_args = ArgumentsForException(report.exception_code);
  ReportDiagnostic(DiagnosticForException(report.exception_code, report.sse_status),
                   exception_args.args);
}

// A stack overflow is reported from a fresh thread, whose stack is whole.
// The report belongs to whichever of the two threads claims it first.
struct FreshThreadReport {
  FaultReport report;
  std::atomic<bool> claimed{false};
};
FreshThreadReport fresh_thread_report;

// How long the faulting thread waits for the fresh thread to begin: a
// thread that faulted while holding the loader lock or the heap lock would
// keep a new thread from ever starting.
constexpr DWORD kFreshThreadStartWaitMs = 2000;

DWORD WINAPI ReportFaultThread(LPVOID) {
  if (!fresh_thread_report.claimed.exchange(true)) ReportFault(fresh_thread_report.report);
  return 0;
}

void ReportStackOverflow(const FaultReport& report) {
  fresh_thread_report.report = report;
  if (HANDLE thread = CreateThread(nullptr, 0, ReportFaultThread, nullptr, 0, nullptr)) {
    if (WaitForSingleObject(thread, kFreshThreadStartWaitMs) == WAIT_OBJECT_0 ||
        fresh_thread_report.claimed.exchange(true)) {
      // The fresh thread reports, and the report ends the process.
      WaitForSingleObject(thread, INFINITE);
      return;
    }
  } else if (fresh_thread_report.claimed.exchange(true)) {
    return;
  }
  // On the faulting thread's own stack, on the room kept for this report.
  ReportFault(report);
}

LONG WINAPI ProcessorExceptionFilter(EXCEPTION_POINTERS* pointers) {
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (HasOwnSignalHandler(SignalForException(code)))
    return earlier_filter ? earlier_filter(pointers) : EXCEPTION_CONTINUE_SEARCH;
  RememberFault(*pointers);
  const FaultReport report{code, SseStatus(*pointers->ContextRecord)};
  // Every other fault is reported on the faulting thread: a fresh thread
  // could wait forever on a lock that the faulting thread holds. The window
  // thread always reports itself, because the box and the status text need
  // it to serve the main window.
  if (code == kStackOverflow && GetCurrentThreadId() != WindowThreadId())
    ReportStackOverflow(report);
  else
    ReportFault(report);
  return EXCEPTION_EXECUTE_HANDLER;  // not reached: a severe report ends the process
}

const char* ConsoleEventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "control-C";
    case CTRL_BREAK_EVENT:
      return "control-BREAK";
    case CTRL_CLOSE_EVENT:
      return "window-CLOSE";
    default:
      return nullptr;
  }
}

BOOL WINAPI ConsoleEventHandler(DWORD event) {
  const char* name = ConsoleEventName(event);
  if (!name) return FALSE;
  ReportDiagnostic(MakeDiagnosticCode(kError, 200), {name});
  CloseAllUnitsAtEnd();
  SetProcessEndStatus(event);
  FinishWindow(static_cast<std::int32_t>(event));
  EndProcess();
}

}  // namespace

void InitialiseRuntime() {
  std::call_once(runtime_initialised, [] {
    RestrictLibrarySearch();
    TurnOnRedirectionGuard();
    SetConsoleCtrlHandler(ConsoleEventHandler, TRUE);
    earlier_filter = SetUnhandledExceptionFilter(ProcessorExceptionFilter);
  });
}

}  // namespace scenreg
