// Time and peak memory of opening hostile kits: each kit is made once, then
// opened by a fresh process of this program (so its peak resident size is
// its own), a few times. Prints figures; never fails a build.
//
//   kit_bounds_bench [RUNS]      (default 3; TMPDIR holds the kits)
// Run as root, the zeros case also gets a small tmpfs as its TMPDIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "hostile_kits.h"
#include "kit/kit_limits.h"
#include "kit/kit_reader.h"
#include "text/convert.h"

extern char** environ;

namespace {

using namespace ordx;
using namespace ordx::kittest;
using namespace ordx::bench;

// Child: opens the kit, prints "code entries peak-KiB".
int ChildMain(const char* kit) {
  KitReader reader;
  const ErrorCode rc = reader.Open(ToWide(NarrowString(kit)));
  std::printf("%u %zu %ld\n", rc, reader.entries().size(), OwnPeakRss());
  return 0;
}

struct Run {
  double ms = 0;
  unsigned code = 0;
  std::size_t entries = 0;
  long peakKib = 0;
  bool ok = false;
};

Run OpenInChild(const std::string& self, const std::string& kit, const std::string& report,
                const std::string& tmpdir) {
  std::vector<std::string> env{"TMPDIR=" + tmpdir};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  Run run;
  const auto t0 = std::chrono::steady_clock::now();
  int status = 0;
  if (!RunSelf(self, {"--child", kit}, report, envp.data(), &status)) return run;
  run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::ifstream in(report);
  run.ok = static_cast<bool>(in >> run.code >> run.entries >> run.peakKib);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return ChildMain(argv[2]);
  const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bounds.XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string kit = dir + "/ordx.dkt";
  const std::string report = dir + "/report";
  const std::string unpack = dir + "/tmp";
  std::filesystem::create_directory(unpack);
  const std::string small = dir + "/small";
  std::filesystem::create_directory(small);
  const bool haveSmall = mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64m,mode=0700") == 0;

  struct Case {
    const char* what;
    std::function<void()> make;
    std::string tmpdir;
  };
  const std::vector<Case> cases = {
      {"FIFO named ordx.dkt", [&] { mkfifo(kit.c_str(), 0600); }, unpack},
      {"10,000,000 entries", [&] { WriteManyEntriesKit(kit, 10000000); }, unpack},
      {"1,000,000 entries (the most)", [&] { WriteManyEntriesKit(kit, kMaxKitEntries); }, unpack},
      {"1,000,000 entries, names using the text budget",
       [&] {
         WriteManyEntriesKit(kit, kMaxKitEntries,
                             std::u16string(kMaxTotalTextUnits / kMaxKitEntries, u'n'));
       },
       unpack},
      {"one record of 256 MiB", [&] { WriteHugeRecordKit(kit, 256u << 20); }, unpack},
      {"a name 2,100 levels deep",
       [&] { WriteKit(kit, KitBuilder().AddFile(LevelledName(2100, 1), "x").Build()); }, unpack},
      {"5 GiB of zeros, TMPDIR with room (writes 4 GiB)", [&] { WriteZerosKit(kit, 5ull << 30); },
       unpack},
      {"3 GiB of zeros, TMPDIR a 64 MiB tmpfs", [&] { WriteZerosKit(kit, 3ull << 30); },
       haveSmall ? small : std::string()},
  };
  std::printf("kit bounds bench: %d runs each, median time and largest peak RSS of the opening "
              "process; kits in %s\n", runs, dir.c_str());
  std::printf("  %-50s %10s %9s %6s %10s %10s\n", "case", "kit bytes", "result", "entries", "time ms",
              "peak KiB");
  for (const Case& c : cases) {
    if (c.tmpdir.empty()) {
      std::printf("  %-50s skipped: no tmpfs could be mounted (needs root)\n", c.what);
      continue;
    }
    std::filesystem::remove(kit);
    c.make();
    const auto size = std::filesystem::is_regular_file(kit) ? std::filesystem::file_size(kit) : 0;
    std::vector<double> times;
    Run last;
    long peak = 0;
    for (int r = 0; r < runs; ++r) {
      last = OpenInChild(self, kit, report, c.tmpdir);
      if (!last.ok) break;
      times.push_back(last.ms);
      peak = std::max(peak, last.peakKib);
    }
    if (!last.ok) {
      std::printf("  %-50s the opening process failed\n", c.what);
      continue;
    }
    std::sort(times.begin(), times.end());
    std::printf("  %-50s %10llu %9u %6zu %10.1f %10ld\n", c.what,
                static_cast<unsigned long long>(size), last.code, last.entries,
                times[times.size() / 2], peak);
  }
  if (haveSmall) umount2(small.c_str(), MNT_DETACH);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
