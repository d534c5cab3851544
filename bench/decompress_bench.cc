// Times DecompressKit against a plain zlib inflate loop over the same raw
// stream held in memory, for kits of several sizes, and reports the peak
// memory of each in a fresh process. Prints figures; never fails a build.
//
//   decompress_bench [RUNS] [OUTPUT_MB...]     (default: 5 runs, 10 and 200 MB)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "kit/decompress.h"
#include "text/convert.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

ordx::WideString Wide(const std::string& path) {
  return ordx::ToWide(ordx::NarrowString(path.c_str()));
}

// Mildly compressible output: words from a small vocabulary, numbers and a
// share of noise, roughly like configuration templates with binary parts.
void FillChunk(std::vector<char>* chunk, std::uint64_t* state) {
  static const char* const kWords[] = {"<template name=\"",
                                       "\" value=\"",
                                       "\"/>\n",
                                       "config",
                                       "ordo",
                                       "report",
                                       "form",
                                       "item",
                                       "42",
                                       "2013-01-01"};
  chunk->clear();
  while (chunk->size() < (1u << 20)) {
    std::uint64_t x = *state;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    *state = x;
    if (x % 5 == 0) {
      for (int i = 0; i < 8; ++i) chunk->push_back(static_cast<char>(x >> (8 * i)));
    } else {
      const char* w = kWords[(x >> 8) % (sizeof(kWords) / sizeof(kWords[0]))];
      chunk->insert(chunk->end(), w, w + std::strlen(w));
    }
  }
}

// Streams `megabytes` of generated output through raw deflate into `path`.
bool MakeKit(const std::string& path, std::uint64_t megabytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::vector<char> chunk;
  std::vector<char> compressed(1 << 20);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (std::uint64_t i = 0; i <= megabytes; ++i) {
    const bool last = i == megabytes;
    if (!last) FillChunk(&chunk, &state);
    z.next_in = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_in = last ? 0 : 1u << 20;
    int rc;
    do {
      z.next_out = reinterpret_cast<Bytef*>(compressed.data());
      z.avail_out = static_cast<uInt>(compressed.size());
      rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      out.write(compressed.data(), static_cast<std::streamsize>(compressed.size() - z.avail_out));
    } while (z.avail_out == 0 || (last && rc != Z_STREAM_END));
  }
  deflateEnd(&z);
  return out.good();
}

// Inflates the whole stream from memory into one reused window-sized buffer;
// with `fd` >= 0 each filled buffer is also written there.
std::uint64_t InflateInMemory(const std::vector<unsigned char>& stream, int fd = -1) {
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  inflateInit2(&z, -15);
  std::vector<unsigned char> out(ordx::kDecompressWindow);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  std::uint64_t total = 0;
  int rc;
  do {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t n = out.size() - z.avail_out;
    if (fd >= 0 && write(fd, out.data(), n) != static_cast<ssize_t>(n)) rc = Z_ERRNO;
    total += n;
  } while (rc == Z_OK);
  inflateEnd(&z);
  return rc == Z_STREAM_END ? total : 0;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

// User plus system time of this process so far, in milliseconds.
double CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The peak resident size of this process in KiB. VmHWM belongs to the
// address space made at exec, unlike ru_maxrss, which also keeps the
// parent's high-water mark when the child was started with posix_spawn.
long OwnPeakRss() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// Runs this program again in a fresh process for one measurement and
// returns that process's peak resident size in KiB (0 on failure).
long PeakRssOfChild(const std::string& self, const std::string& report,
                    const std::vector<std::string>& args) {
  std::vector<std::string> all{self};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return 0;
  std::ifstream in(report);
  long kib = 0;
  in >> kib;
  return kib;
}

int ChildMain(int argc, char** argv) {
  const std::string what = argv[2];
  bool ok = false;
  if (what == "decompress" && argc == 5) {
    ok = ordx::DecompressKit(Wide(argv[3]), Wide(argv[4])) == 0;
  } else if (what == "inflate" && argc == 4) {
    ok = InflateInMemory(ReadAll(argv[3])) != 0;
  } else if (what == "baseline") {
    ok = true;
  }
  std::printf("%ld\n", OwnPeakRss());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return ChildMain(argc, argv);

  int runs = 5;
  std::vector<std::uint64_t> sizes;
  if (argc >= 2) runs = std::max(1, std::atoi(argv[1]));
  for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {10, 200};

  const char* tmp = std::getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/decompress-bench.XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string kit = dir + "/kit";
  const std::string out = dir + "/unpacked";

  const std::string report = dir + "/rss";
  std::printf("decompress bench: %d runs per figure, medians; zlib %s\n", runs, zlibVersion());
  std::printf("peak RSS of an empty run of this program: %ld KiB\n",
              PeakRssOfChild(self, report, {"--child", "baseline"}));
  for (const std::uint64_t mb : sizes) {
    if (!MakeKit(kit, mb)) {
      std::fprintf(stderr, "cannot make the %llu MB kit\n", static_cast<unsigned long long>(mb));
      continue;
    }
    // Memory first, while this process is still small.
    const long rssOurs = PeakRssOfChild(self, report, {"--child", "decompress", kit, out});
    const long rssPlain = PeakRssOfChild(self, report, {"--child", "inflate", kit});
    const std::vector<unsigned char> stream = ReadAll(kit);
    const std::uint64_t expected = mb << 20;
    // The unpacked copy is always a fresh file in real use.
    const std::function<bool()> variants[] = {
        [&] {
          unlink(out.c_str());
          return ordx::DecompressKit(Wide(kit), Wide(out)) == 0;
        },
        [&] {
          unlink(out.c_str());
          const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          const bool ok = InflateInMemory(stream, fd) == expected;
          close(fd);
          return ok;
        },
        [&] { return InflateInMemory(stream) == expected; },
    };
    const char* const names[] = {"DecompressKit (mapped kit -> file)  ",
                                 "zlib loop (kit in memory -> file)   ",
                                 "zlib loop (kit in memory -> memory) "};
    std::vector<double> wall[3], cpu[3];
    bool failed = false;
    // Run 0 warms the caches; the order rotates so no variant always
    // follows the same neighbour on a busy machine.
    for (int r = 0; r <= runs && !failed; ++r) {
      for (int k = 0; k < 3 && !failed; ++k) {
        const int v = (r + k) % 3;
        const double c0 = CpuMs();
        const auto t0 = Clock::now();
        failed = !variants[v]();
        const auto t1 = Clock::now();
        if (r == 0) continue;
        wall[v].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        cpu[v].push_back(CpuMs() - c0);
      }
    }
    unlink(out.c_str());
    if (failed) {
      std::fprintf(stderr, "decompression failed\n");
      continue;
    }
    std::printf("\n%llu MB output, %.1f MB kit (medians: wall time, CPU time of this process)\n",
                static_cast<unsigned long long>(mb),
                static_cast<double>(stream.size()) / (1 << 20));
    for (int v = 0; v < 3; ++v)
      std::printf("  %s %9.1f ms wall %7.1f MB/s  %9.1f ms CPU\n", names[v], Median(wall[v]),
                  static_cast<double>(mb) / (Median(wall[v]) / 1000), Median(cpu[v]));
    std::printf("  ratio DecompressKit / zlib to memory: %.2f wall, %.2f CPU\n",
                Median(wall[0]) / Median(wall[2]), Median(cpu[0]) / Median(cpu[2]));
    std::printf("  ratio DecompressKit / zlib to file:   %.2f wall, %.2f CPU\n",
                Median(wall[0]) / Median(wall[1]), Median(cpu[0]) / Median(cpu[1]));
    std::printf(
        "  peak RSS: DecompressKit %ld KiB; zlib loop with the kit read into memory %ld KiB\n",
        rssOurs, rssPlain);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
