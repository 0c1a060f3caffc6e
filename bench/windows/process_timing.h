// Whole-process timing for the benchmarks under Wine.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace scenreg::bench {

// Milliseconds from CreateProcess to the end of the process; negative when
// the program could not be started or ended with a status other than 0.
inline double TimeOneRun(const std::string& program, std::string command_line,
                         const std::string& folder) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info))
    return -1;
  WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD status = 1;
  GetExitCodeProcess(info.hProcess, &status);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  if (status != 0) return -1;
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace scenreg::bench
