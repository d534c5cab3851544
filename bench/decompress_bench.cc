// Times our kit decompression with each built backend against a bare ISA-L
// and a bare zlib inflate loop, memory to memory, for kits of several sizes,
// and reports the peak memory of each in a fresh process. "Ours" is measured
// twice: the RawInflater loop over the kit in memory, and DecompressKit from
// the kit file into a nameless file in TMPDIR, as the installer runs it.
// Prints figures; never fails a build.
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

#ifdef ORDX_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include "bench_support.h"
#include "kit/decompress.h"
#include "kit/raw_inflater.h"
#include "text/convert.h"


namespace {

using namespace ordx::bench;

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
    const std::uint64_t x = NextRandom(state);
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

// Bare zlib: the whole stream from memory into one reused 1 MiB buffer.
std::uint64_t ZlibLoop(const std::vector<unsigned char>& stream) {
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  inflateInit2(&z, -15);
  std::vector<unsigned char> out(ordx::kDecompressBlock);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  std::uint64_t total = 0;
  int rc;
  do {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    total += out.size() - z.avail_out;
  } while (rc == Z_OK);
  inflateEnd(&z);
  return rc == Z_STREAM_END ? total : 0;
}

#ifdef ORDX_HAVE_ISAL
// Bare ISA-L, the same way.
std::uint64_t IsalLoop(const std::vector<unsigned char>& stream) {
  auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  std::vector<unsigned char> out(ordx::kDecompressBlock);
  state->next_in = const_cast<std::uint8_t*>(stream.data());
  state->avail_in = static_cast<std::uint32_t>(stream.size());
  std::uint64_t total = 0;
  while (state->block_state != ISAL_BLOCK_FINISH) {
    state->next_out = out.data();
    state->avail_out = static_cast<std::uint32_t>(out.size());
    if (isal_inflate(state.get()) != ISAL_DECOMP_OK) return 0;
    const std::size_t n = out.size() - state->avail_out;
    if (n == 0 && state->avail_in == 0 && state->block_state != ISAL_BLOCK_FINISH) return 0;
    total += n;
  }
  return total;
}
#endif

// Our decoder interface, the same way.
std::uint64_t OursInMemory(const std::vector<unsigned char>& stream, ordx::InflateBackend backend) {
  const auto inflater = ordx::MakeRawInflater(backend);
  std::vector<unsigned char> out(ordx::kDecompressBlock);
  const std::uint8_t* in = stream.data();
  std::size_t inLeft = stream.size();
  std::uint64_t total = 0;
  for (;;) {
    std::uint8_t* next = out.data();
    std::size_t outLeft = out.size();
    const auto result = inflater->Inflate(&in, &inLeft, &next, &outLeft);
    total += out.size() - outLeft;
    if (result == ordx::RawInflater::Result::kEnd) return total;
    if (result == ordx::RawInflater::Result::kBad || (outLeft != 0 && inLeft == 0)) return 0;
  }
}

// Our whole unpacking: kit file to a nameless file in TMPDIR.
bool OursFileToFile(const std::string& kit, ordx::InflateBackend backend) {
  ordx::ScopedHandle in, out;
  ordx::WideString tmp;
  ordx::GetTempPath(&tmp);
  if (ordx::OpenRegularFile(Wide(kit), in.out()) != 0 ||
      ordx::CreateAnonymousFile(tmp, out.out()) != 0)
    return false;
  ordx::DecompressOptions options;
  options.backend = backend;
  return ordx::DecompressKit(in.get(), out.get(), options) == 0;
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

// Runs this program again in a fresh process for one measurement and
// returns that process's peak resident size in KiB (0 on failure).
long PeakRssOfChild(const std::string& self, const std::string& report,
                    const std::vector<std::string>& args) {
  int status = 0;
  if (!RunSelf(self, args, report, nullptr, &status) || status != 0) return 0;
  std::ifstream in(report);
  long kib = 0;
  in >> kib;
  return kib;
}

ordx::InflateBackend BackendNamed(const std::string& name) {
  return name == "isa-l" ? ordx::InflateBackend::kIsal : ordx::InflateBackend::kZlib;
}

int ChildMain(int argc, char** argv) {
  const std::string what = argv[2];
  bool ok = false;
  if (what == "ours" && argc == 5) {
    ok = OursFileToFile(argv[3], BackendNamed(argv[4]));
  } else if (what == "zlib" && argc == 4) {
    ok = ZlibLoop(ReadAll(argv[3])) != 0;
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
  setenv("TMPDIR", dir.c_str(), 1);  // the unpacked copies go beside the kit

  const std::string report = dir + "/rss";
  std::printf("decompress bench: %d runs per figure, medians; zlib %s; kit and copies in %s\n",
              runs, zlibVersion(), dir.c_str());
  std::printf("peak RSS of an empty run of this program: %ld KiB\n",
              PeakRssOfChild(self, report, {"--child", "baseline"}));
  for (const std::uint64_t mb : sizes) {
    if (!MakeKit(kit, mb)) {
      std::fprintf(stderr, "cannot make the %llu MB kit\n", static_cast<unsigned long long>(mb));
      continue;
    }
    // Memory first, while this process is still small: our whole unpacking
    // (the kit is never held in memory) against a bare loop that reads the
    // whole kit into memory first.
    std::vector<std::pair<std::string, long>> rss;
    for (const ordx::InflateBackend b : ordx::BuiltInflateBackends())
      rss.emplace_back(std::string("ours, ") + ordx::InflateBackendName(b),
                       PeakRssOfChild(self, report, {"--child", "ours", kit,
                                                     ordx::InflateBackendName(b)}));
    rss.emplace_back("bare zlib loop, kit in memory",
                     PeakRssOfChild(self, report, {"--child", "zlib", kit}));
    const std::vector<unsigned char> stream = ReadAll(kit);
    const std::uint64_t expected = mb << 20;

    struct Variant {
      std::string name;
      std::function<bool()> run;
    };
    std::vector<Variant> variants;
#ifdef ORDX_HAVE_ISAL
    variants.push_back({"bare ISA-L loop, memory to memory", [&] {
                          return IsalLoop(stream) == expected;
                        }});
#endif
    variants.push_back({"bare zlib loop, memory to memory", [&] {
                          return ZlibLoop(stream) == expected;
                        }});
    for (const ordx::InflateBackend b : ordx::BuiltInflateBackends()) {
      const std::string name = ordx::InflateBackendName(b);
      variants.push_back({"ours (" + name + "), memory to memory", [&stream, expected, b] {
                            return OursInMemory(stream, b) == expected;
                          }});
      variants.push_back({"ours (" + name + "), kit file to TMPDIR file", [&kit, b] {
                            return OursFileToFile(kit, b);
                          }});
    }
    const std::size_t count = variants.size();
    std::vector<std::vector<double>> wall(count), cpu(count);
    bool failed = false;
    // Run 0 warms the caches; the order rotates so no variant always
    // follows the same neighbour on a busy machine.
    for (int r = 0; r <= runs && !failed; ++r) {
      for (std::size_t k = 0; k < count && !failed; ++k) {
        const std::size_t v = (r + k) % count;
        const double c0 = CpuMs();
        const auto t0 = Clock::now();
        failed = !variants[v].run();
        const auto t1 = Clock::now();
        if (failed) std::fprintf(stderr, "%s failed\n", variants[v].name.c_str());
        if (r == 0) continue;
        wall[v].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        cpu[v].push_back(CpuMs() - c0);
      }
    }
    if (failed) continue;
    std::printf("\n%llu MB output, %.1f MB kit (medians: wall time, CPU time of this process)\n",
                static_cast<unsigned long long>(mb),
                static_cast<double>(stream.size()) / (1 << 20));
    for (std::size_t v = 0; v < count; ++v)
      std::printf("  %-44s %8.1f ms wall %7.1f MB/s %8.1f ms CPU  %.2fx bare %s\n",
                  variants[v].name.c_str(), Median(wall[v]),
                  static_cast<double>(mb) / (Median(wall[v]) / 1000), Median(cpu[v]),
                  Median(wall[v]) / Median(wall[0]), count > 0 ? variants[0].name.c_str() + 5 : "");
    std::printf("  peak RSS:");
    for (const auto& [name, kib] : rss) std::printf("  %s %ld KiB;", name.c_str(), kib);
    std::printf("\n");
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
