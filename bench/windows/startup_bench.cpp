// Start-up benchmark: the whole-process time of scenreg.exe on its silent
// registration path (a description without welcome text, a library of 120
// areas), next to a minimal program that creates one window and ends, both
// started the same way in the same run. Figures, not a test.
//
// Usage: startup_bench.exe SCENREG MINIMAL FOLDER [RUNS]  (Windows paths)
// FOLDER must hold scconf.txt and the library as scenery.orig; every run
// starts from a fresh copy of it, so every run registers.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/windows/process_timing.h"

using scenreg::bench::Median;
using scenreg::bench::TimeOneRun;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s SCENREG MINIMAL FOLDER [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string scenreg = argv[1], minimal = argv[2], folder = argv[3];
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 9;
  const std::string original = folder + "\\scenery.orig", library = folder + "\\scenery.cfg";

  std::vector<double> scenreg_ms, minimal_ms;
  // Alternating the two spreads any drift of the machine over both.
  for (int run = 0; run < runs; ++run) {
    if (!CopyFileA(original.c_str(), library.c_str(), FALSE)) {
      std::fprintf(stderr, "cannot copy %s\n", original.c_str());
      return 2;
    }
    const double registered = TimeOneRun(scenreg, "\"" + scenreg + "\"", folder);
    const double window = TimeOneRun(minimal, "\"" + minimal + "\"", folder);
    if (registered < 0 || window < 0) {
      std::fprintf(stderr, "a run failed (scenreg %.1f, minimal %.1f)\n", registered, window);
      return 1;
    }
    scenreg_ms.push_back(registered);
    minimal_ms.push_back(window);
  }
  const double scenreg_median = Median(scenreg_ms), minimal_median = Median(minimal_ms);
  std::printf("Whole-process time, median of %d runs:\n", runs);
  std::printf("  scenreg.exe, silent registration, 120 areas  %8.1f ms\n", scenreg_median);
  std::printf("  minimal program, one window                  %8.1f ms\n", minimal_median);
  std::printf("  ratio                                        %8.2f\n",
              scenreg_median / minimal_median);
  return 0;
}
