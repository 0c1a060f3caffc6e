// Throughput and memory of the scenery library scan on large files, against
// the floor of reading the same file in the scan's 8192-byte blocks, with
// grep and wc over the same file in the same run as anchors.
//
//   scan_bench [--size-mib N] [--line-mb N] [--repeat N] [--dir PATH] [--keep]
//
// Generates, in a scratch folder outside the source tree, a library of about
// N MiB of realistic area sections (the scanned title absent) and a library
// that is one line of N MB; with --keep and --dir, files that are there from
// an earlier run are used again. Each measured command runs as a process of its
// own; the scan reports its own peak resident memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "registration/library_scan.h"
#include "runtime/record_file.h"
#include "runtime/text_field.h"

extern char** environ;

namespace scenreg {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kScannedTitle = "Sample Field";

struct Options {
  std::uint64_t library_bytes = 1024ull << 20;
  std::uint64_t line_bytes = 100'000'000;
  int repeat = 3;
  fs::path dir;
  bool keep = false;
};

struct ChildRun {
  std::string output;
  double seconds = 0;
  int status = -1;
};

// Runs the command with its standard output captured and measures the wall
// time from start to exit.
ChildRun RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) std::exit(2);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);

  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(2);
  }
  close(pipe_ends[1]);
  char buffer[4096];
  ssize_t count;
  while ((count = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
    run.output.append(buffer, static_cast<std::size_t>(count));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = status;
  posix_spawn_file_actions_destroy(&actions);
  while (!run.output.empty() && (run.output.back() == '\n' || run.output.back() == ' '))
    run.output.pop_back();
  return run;
}

// The high-water mark of this process's own memory since its exec. The
// rusage figure of a child would also hold what its parent had resident when
// it forked, which is not the scan's.
long OwnPeakResidentKib() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return kib;
}

// The child side: scans scenery.cfg in the given folder as the program does.
int ScanInFolder(const char* folder) {
  if (chdir(folder) != 0) return 2;
  SetIoLockingMode(0);
  std::int32_t largest_area_number = 0;
  const LibraryScan scan = ScanLibrary(MakeTextField<20>(kScannedTitle), largest_area_number);
  CloseAllUnits();
  std::printf("%d headers, largest %d, %s\n", scan.header_count, largest_area_number,
              scan.already_entered ? "entered" : "not entered");
  std::printf("peak %ld\n", OwnPeakResidentKib());
  return 0;
}

// The floor: the file read in 8192-byte blocks, the scan's first buffer
// size, and nothing else.
int ReadInBlocks(const char* path) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return 2;
  static char block[8192];
  std::uint64_t total = 0;
  ssize_t count;
  while ((count = read(fd, block, sizeof block)) > 0) total += static_cast<std::uint64_t>(count);
  close(fd);
  std::printf("%llu bytes\n", static_cast<unsigned long long>(total));
  return count < 0 ? 2 : 0;
}

class OutputFile {
 public:
  explicit OutputFile(const fs::path& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      std::exit(2);
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~OutputFile() { std::fclose(file_); }
  void Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }

 private:
  std::FILE* file_;
};

// Sections shaped like the simulator's own: CR LF, a header, a title of a
// few words, a folder, layer and flags, sometimes a texture id, a blank line.
void GenerateLibrary(const fs::path& path, std::uint64_t size) {
  static constexpr std::string_view kWords[] = {
      "Airport", "Base",     "Default", "Scenery", "Terrain", "Regional", "Field", "Island",
      "Mesh",    "Landmark", "Harbour", "Valley",  "North",   "South",    "Lake",  "Coast"};
  std::mt19937 random(12345);
  auto word = [&] { return kWords[random() % std::size(kWords)]; };
  OutputFile out(path);
  std::string section =
      "[General]\r\nTitle=FS9 World Scenery\r\nDescription=FS9 Scenery Data\r\n"
      "Clean_on_Exit=TRUE\r\n\r\n";
  std::uint64_t written = 0;
  for (std::uint32_t area = 1; written < size; ++area) {
    const unsigned number = area % 1000;
    const std::string_view title_1 = word(), title_2 = word(), folder = word(), name = word();
    char text[256];
    const int length = std::snprintf(
        text, sizeof text,
        "[Area.%03u]\r\nTitle=%.*s %.*s %u\r\n%sLocal=Scenery\\%.*s\\%.*s%u\r\n"
        "Layer=%u\r\nActive=%s\r\nRequired=%s\r\n\r\n",
        number, static_cast<int>(title_1.size()), title_1.data(), static_cast<int>(title_2.size()),
        title_2.data(), area, random() % 8 == 0 ? "Texture_ID=1\r\n" : "",
        static_cast<int>(folder.size()), folder.data(), static_cast<int>(name.size()), name.data(),
        area % 100, number, random() % 4 ? "TRUE" : "FALSE", random() % 2 ? "TRUE" : "FALSE");
    section.append(text, static_cast<std::size_t>(length));
    if (section.size() >= (1u << 16)) {
      out.Write(section);
      written += section.size();
      section.clear();
    }
  }
  out.Write(section);
}

void GenerateLine(const fs::path& path, std::uint64_t size) {
  OutputFile out(path);
  std::string chunk = "Title=";
  std::mt19937 random(54321);
  while (chunk.size() < (1u << 20)) chunk += static_cast<char>('a' + random() % 26);
  std::uint64_t written = 0;
  while (written + chunk.size() < size) {
    out.Write(chunk);
    written += chunk.size();
  }
  out.Write(std::string_view(chunk).substr(0, size - written - 1));
  out.Write("\n");
}

// Reads the file once so every measured command finds it in the page cache.
void WarmCache(const fs::path& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  std::vector<char> buffer(1 << 20);
  while (read(fd, buffer.data(), buffer.size()) > 0) {
  }
  close(fd);
}

ChildRun Fastest(const std::vector<std::string>& args, int repeat) {
  ChildRun best;
  for (int i = 0; i < repeat; ++i) {
    ChildRun run = RunChild(args);
    if (i == 0 || run.seconds < best.seconds) best = run;
  }
  return best;
}

void Measure(const std::string& self, const fs::path& folder, int repeat) {
  const fs::path file = folder / kLibraryFileName;
  const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
  std::printf("%s: %.1f MB\n", file.c_str(), megabytes);
  WarmCache(file);
  struct Command {
    const char* name;
    std::vector<std::string> args;
  };
  const Command commands[] = {
      {"read floor, 8192 B", {self, "--read-child", file.string()}},
      {"scan", {self, "--scan-child", folder.string()}},
      {"grep -c '^\\[Area\\.'", {"grep", "-c", "^\\[Area\\.", file.string()}},
      {"wc -l", {"wc", "-l", file.string()}},
  };
  double seconds[std::size(commands)] = {};
  for (std::size_t i = 0; i < std::size(commands); ++i) {
    const Command& command = commands[i];
    ChildRun run = Fastest(command.args, repeat);
    seconds[i] = run.seconds;
    std::string memory;
    if (const std::size_t at = run.output.find("\npeak "); at != std::string::npos) {
      const long kib = std::atol(run.output.c_str() + at + 6);
      run.output.resize(at);
      char text[64];
      std::snprintf(text, sizeof text, "  peak RSS %.1f MiB", static_cast<double>(kib) / 1024);
      memory = text;
    }
    std::printf("  %-22s %8.1f MB/s  %7.3f s%s  -> %s\n", command.name, megabytes / run.seconds,
                run.seconds, memory.c_str(), run.output.c_str());
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) > 1)
      std::printf("  (%s did not exit normally: status %d)\n", command.name, run.status);
  }
  std::printf("  scan time / read floor %.2f, / grep %.2f, / wc -l %.2f\n", seconds[1] / seconds[0],
              seconds[1] / seconds[2], seconds[1] / seconds[3]);
}

// Writes the file unless an earlier run left it there to be used again.
void Provide(const fs::path& path, std::uint64_t size, bool reuse,
             void (*generate)(const fs::path&, std::uint64_t)) {
  if (reuse && fs::exists(path)) {
    std::printf("using %s again\n", path.c_str());
    return;
  }
  generate(path, size);
}

int Main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--scan-child") == 0) return ScanInFolder(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--read-child") == 0) return ReadInBlocks(argv[2]);
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--size-mib" && has_value) {
      options.library_bytes = std::strtoull(argv[++i], nullptr, 10) << 20;
    } else if (arg == "--line-mb" && has_value) {
      options.line_bytes = std::strtoull(argv[++i], nullptr, 10) * 1'000'000;
    } else if (arg == "--repeat" && has_value) {
      options.repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--dir" && has_value) {
      options.dir = argv[++i];
    } else if (arg == "--keep") {
      options.keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--size-mib N] [--line-mb N] [--repeat N] [--dir PATH] [--keep]\n",
                   argv[0]);
      return 2;
    }
  }
  const bool reuse = options.keep && !options.dir.empty();
  if (options.dir.empty())
    options.dir = fs::temp_directory_path() / ("scenreg-bench-" + std::to_string(getpid()));
  const std::string self = fs::canonical("/proc/self/exe").string();
  const fs::path library_folder = options.dir / "library";
  const fs::path line_folder = options.dir / "line";
  fs::create_directories(library_folder);
  fs::create_directories(line_folder);

  std::printf("generating in %s ...\n", options.dir.c_str());
  if (options.library_bytes > 0)
    Provide(library_folder / kLibraryFileName, options.library_bytes, reuse, GenerateLibrary);
  if (options.line_bytes > 1)
    Provide(line_folder / kLibraryFileName, options.line_bytes, reuse, GenerateLine);
  std::printf("fastest of %d runs each; MB = 10^6 bytes\n", options.repeat);
  if (options.library_bytes > 0) Measure(self, library_folder, options.repeat);
  if (options.line_bytes > 1) Measure(self, line_folder, options.repeat);
  if (!options.keep) fs::remove_all(options.dir);
  return 0;
}

}  // namespace
}  // namespace scenreg

int main(int argc, char** argv) {
  return scenreg::Main(argc, argv);
}
