// Library benchmark under Wine: the whole-process time of scenreg.exe on a
// large library whose last line is the add-on's title line, so that it reads
// every byte and ends silently, against a program that only reads the same
// file in 8192-byte blocks. Both are also timed on a small library; the
// difference is each program's time for the large file net of its start-up.
// Figures, not a test.
//
// Usage: library_bench.exe SCENREG READER LARGE SMALL [RUNS]  (Windows paths)
// LARGE and SMALL are folders that hold scconf.txt and scenery.cfg.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/windows/process_timing.h"

namespace {

using scenreg::bench::Median;
using scenreg::bench::TimeOneRun;

double FileMegabytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  const double bytes = static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow;
  return bytes / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s SCENREG READER LARGE SMALL [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string scenreg = argv[1], reader = argv[2], large = argv[3], small = argv[4];
  const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
  const std::string large_file = large + "\\scenery.cfg", small_file = small + "\\scenery.cfg";
  const std::string scenreg_line = "\"" + scenreg + "\"";

  // Per program and library: scenreg large, scenreg small, reader large,
  // reader small. Alternating spreads any drift of the machine over all.
  std::vector<double> times[4];
  for (int run = 0; run < runs; ++run) {
    const double measured[4] = {
        TimeOneRun(scenreg, scenreg_line, large),
        TimeOneRun(scenreg, scenreg_line, small),
        TimeOneRun(reader, "\"" + reader + "\" \"" + large_file + "\"", large),
        TimeOneRun(reader, "\"" + reader + "\" \"" + small_file + "\"", small),
    };
    for (int i = 0; i < 4; ++i) {
      if (measured[i] < 0) {
        std::fprintf(stderr, "run %d of program %d failed\n", run, i);
        return 1;
      }
      times[i].push_back(measured[i]);
    }
  }
  const double megabytes = FileMegabytes(large_file);
  const double scenreg_net = Median(times[0]) - Median(times[1]);
  const double reader_net = Median(times[2]) - Median(times[3]);
  std::printf("%s: %.1f MB; whole-process time, median of %d runs\n", large_file.c_str(), megabytes,
              runs);
  std::printf("  scenreg.exe       large %8.1f ms  small %6.1f ms  net %8.1f ms  %7.1f MB/s\n",
              Median(times[0]), Median(times[1]), scenreg_net, megabytes / scenreg_net * 1000);
  std::printf("  8192-byte reads   large %8.1f ms  small %6.1f ms  net %8.1f ms  %7.1f MB/s\n",
              Median(times[2]), Median(times[3]), reader_net, megabytes / reader_net * 1000);
  std::printf("  scenreg.exe / read floor, net of start-up: %.2f\n", scenreg_net / reader_net);
  return 0;
}
