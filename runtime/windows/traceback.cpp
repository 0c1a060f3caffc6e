// The traceback table of a severe diagnostic, walked with the system's
// image-help library. The library is loaded only when a traceback is wanted,
// so that the program runs without it; then the table is left out.
#include <windows.h>
// For the types of the entries only; the library is never linked.
#include <imagehlp.h>

#include <string_view>

#include "runtime/diagnostic_display.h"
#include "runtime/windows/shell_internal.h"
#include "runtime/windows/system_library.h"

namespace scenreg {
namespace {

// The traceback context: room for one copied exception record and one
// processor context, so that a fault is walked from where it happened.
struct FaultContext {
  bool present = false;
  EXCEPTION_RECORD record;
  CONTEXT context;
};
FaultContext fault;

constexpr const char* kUnknown = "Unknown";

#ifdef _WIN64
using StackFrameRecord = STACKFRAME64;
using StackWalkEntry = BOOL(WINAPI*)(DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID,
                                     PREAD_PROCESS_MEMORY_ROUTINE64,
                                     PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
                                     PTRANSLATE_ADDRESS_ROUTINE64);
using FunctionTableAccessEntry = PFUNCTION_TABLE_ACCESS_ROUTINE64;
constexpr const char* kStackWalkName = "StackWalk64";
constexpr const char* kFunctionTableAccessName = "SymFunctionTableAccess64";
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
using StackFrameRecord = STACKFRAME;
using StackWalkEntry = BOOL(WINAPI*)(DWORD, HANDLE, HANDLE, LPSTACKFRAME, PVOID,
                                     PREAD_PROCESS_MEMORY_ROUTINE, PFUNCTION_TABLE_ACCESS_ROUTINE,
                                     PGET_MODULE_BASE_ROUTINE, PTRANSLATE_ADDRESS_ROUTINE);
using FunctionTableAccessEntry = PFUNCTION_TABLE_ACCESS_ROUTINE;
constexpr const char* kStackWalkName = "StackWalk";
constexpr const char* kFunctionTableAccessName = "SymFunctionTableAccess";
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif
using SymInitializeEntry = BOOL(WINAPI*)(HANDLE, PCSTR, BOOL);
using SymCleanupEntry = BOOL(WINAPI*)(HANDLE);
using SymSetOptionsEntry = DWORD(WINAPI*)(DWORD);
using ApiVersionEntry = LPAPI_VERSION(WINAPI*)(LPAPI_VERSION);

struct ImageHelp {
  StackWalkEntry stack_walk;
  FunctionTableAccessEntry function_table_access;
  SymInitializeEntry sym_initialize;
  SymCleanupEntry sym_cleanup;
  SymSetOptionsEntry sym_set_options;
  ApiVersionEntry api_version;
};

template <typename Entry>
bool LoadEntry(HMODULE library, const char* name, Entry& entry) {
  const FARPROC address = GetProcAddress(library, name);
  entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(address));
  return address != nullptr;
}

bool LoadImageHelp(HMODULE library, ImageHelp& help) {
  return LoadEntry(library, kStackWalkName, help.stack_walk) &&
         LoadEntry(library, kFunctionTableAccessName, help.function_table_access) &&
         LoadEntry(library, "SymInitialize", help.sym_initialize) &&
         LoadEntry(library, "SymCleanup", help.sym_cleanup) &&
         LoadEntry(library, "SymSetOptions", help.sym_set_options) &&
         LoadEntry(library, "ImagehlpApiVersionEx", help.api_version);
}

// The file name, with extension, of the image that holds the address, in
// the caller's storage.
std::string_view ImageNameAt(DWORD64 address, char (&path)[MAX_PATH + 1]) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(address)), &module))
    return kUnknown;
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0) return kUnknown;
  const std::string_view name(path, length);
  const std::size_t folder_end = name.find_last_of("\\/");
  return folder_end == std::string_view::npos ? name : name.substr(folder_end + 1);
}

void StartFrame(const CONTEXT& context, StackFrameRecord& frame) {
  frame = {};
#ifdef _WIN64
  frame.AddrPC.Offset = context.Rip;
  frame.AddrFrame.Offset = context.Rbp;
  frame.AddrStack.Offset = context.Rsp;
#else
  frame.AddrPC.Offset = context.Eip;
  frame.AddrFrame.Offset = context.Ebp;
  frame.AddrStack.Offset = context.Esp;
#endif
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Mode = AddrModeFlat;
}

// The program's folder and the system directory, separated by ';'.
bool SymbolSearchPath(char (&path)[2 * MAX_PATH + 2]) {
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  char* folder_end = path + length;
  while (folder_end > path && folder_end[-1] != '\\' && folder_end[-1] != '/') --folder_end;
  if (folder_end == path) return false;
  folder_end[-1] = ';';
  const UINT system_length = GetSystemDirectoryA(folder_end, MAX_PATH);
  return system_length != 0 && system_length < MAX_PATH;
}

// Builds in the sink only: the report may be made in low memory.
void WalkStack(const ImageHelp& help, TextSink& sink) {
  API_VERSION wanted{4, 0, API_VERSION_NUMBER, 0};
  help.api_version(&wanted);
  HANDLE process = GetCurrentProcess();
  // Symbol files only from the program's own folder and the system
  // directory: the default path begins with the working directory, where
  // anyone who may write the simulator folder could place one for an
  // elevated run to read; nor the path that an image names for its own.
  help.sym_set_options(SYMOPT_DEFERRED_LOADS | SYMOPT_IGNORE_CVREC);
  char search_path[2 * MAX_PATH + 2];
  if (!SymbolSearchPath(search_path) || !help.sym_initialize(process, search_path, TRUE)) return;

  // The walk changes the context it is given, so it works on a copy.
  CONTEXT context;
  if (fault.present) {
    context = fault.context;
  } else {
    context = {};
    RtlCaptureContext(&context);
  }
  StackFrameRecord frame;
  StartFrame(context, frame);

  AppendTracebackHeader(sink);
  for (int row = 0; row < kMaxTracebackFrames; ++row) {
    if (!help.stack_walk(kMachine, process, GetCurrentThread(), &frame, &context, nullptr,
                         help.function_table_access, nullptr, nullptr))
      break;
    const DWORD64 program_counter = frame.AddrPC.Offset;
    if (program_counter == 0) break;
    char path[MAX_PATH + 1];
    AppendTracebackRow(sink, ImageNameAt(program_counter, path), program_counter, kUnknown,
                       kUnknown, kUnknown);
  }
  help.sym_cleanup(process);
}

}  // namespace

void RememberFault(const EXCEPTION_POINTERS& pointers) {
  fault.record = *pointers.ExceptionRecord;
  fault.context = *pointers.ContextRecord;
  fault.present = true;
}

void AppendTraceback(TextSink& sink) {
  HMODULE library = LoadSystemLibrary("imagehlp.dll");
  if (!library) return;
  ImageHelp help;
  if (LoadImageHelp(library, help)) WalkStack(help, sink);
  FreeLibrary(library);
}

}  // namespace scenreg
