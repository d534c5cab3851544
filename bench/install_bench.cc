// Times a whole installation (unpacking the kit included) against
// `tar -xzf` of the same tree, in the same run and on the same machine
// state: into an empty directory, over an up-to-date copy and over a copy
// whose files are all older than the kit's. Each timed run is a fresh
// process, so its peak memory is its own; the flush before the commit (one
// syncfs of the target's file system) is timed apart. Prints figures; fails
// nothing. Run it on a fresh tmpfs for figures that do not depend on the
// state of a disk.
//
//   install_bench [--files N] [--mb MB] [--runs R] [--dir WORKDIR] [--tmp TMPDIR]
//                 [--save-kit PATH]
//   (defaults: 2000 files, 100 MB, 5 runs, a new folder under $TMPDIR that
//   also holds the installer's TMPDIR; --tmp puts the unpacked kit elsewhere,
//   e.g. on another file system; --save-kit keeps a copy of the kit)
#include <dirent.h>
#include <fcntl.h>
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
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "fs/file_layer.h"
#include "engine/install_state.h"
#include "engine/install_worker.h"
#include "kit/kit_reader.h"
#include "text/convert.h"

namespace {

using namespace ordx::bench;

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// 2020-01-01 00:00:00 UTC.
constexpr std::int64_t kBaseSeconds = 1577836800;

struct Options {
  int files = 2000;
  int megabytes = 100;
  int runs = 5;
  std::string dir;
  std::string tmp;
  std::string saveKit;
};

struct FileSpec {
  std::string rel;  // "/" separators
  std::uint32_t size;
  std::int64_t seconds;
};

ordx::WideString Wide(const std::string& s) { return ordx::ToWide(ordx::NarrowString(s.c_str())); }

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "install_bench: %s\n", what.c_str());
  std::exit(1);
}

// --- The generated tree.

std::vector<FileSpec> PlanTree(const Options& options) {
  std::mt19937 rng(12345);
  std::vector<FileSpec> files;
  std::vector<double> weights;
  for (int i = 0; i < options.files; ++i) {
    // Mostly small templates and a few large ones.
    weights.push_back(i % 10 == 0 ? 8.0 + rng() % 16 : 0.2 + (rng() % 100) / 100.0);
    char name[96];
    if (i % 25 == 0) {
      std::snprintf(name, sizeof(name), "top%04d.dat", i);
    } else {
      std::snprintf(name, sizeof(name), "d%02d/s%d/n%d/f%04d.dat", i % 20, (i / 20) % 5,
                    (i / 100) % 3, i);
    }
    files.push_back({name, 0, kBaseSeconds + i});
  }
  double sum = 0;
  for (double w : weights) sum += w;
  const double total = double(options.megabytes) * 1048576.0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].size = static_cast<std::uint32_t>(total * weights[i] / sum);
  }
  return files;
}

// Mildly compressible bytes: words with a share of noise.
void FillBytes(std::string* out, std::size_t size, std::uint64_t* state) {
  static const char* const kWords[] = {"<item name=\"", "\" value=\"", "\"/>\n", "config",
                                       "ordo",          "report",    "form",   "2020-01-01"};
  out->clear();
  while (out->size() < size) {
    const std::uint64_t x = NextRandom(state);
    if (x % 4 == 0) {
      out->push_back(static_cast<char>(x >> 24));
    } else {
      out->append(kWords[(x >> 8) % 8]);
    }
  }
  out->resize(size);
}

void WriteTree(const std::string& root, const std::vector<FileSpec>& files) {
  std::uint64_t state = 88172645463325252ull;
  std::string bytes;
  for (const FileSpec& f : files) {
    const std::string path = root + "/" + f.rel;
    fs::create_directories(fs::path(path).parent_path());
    FillBytes(&bytes, f.size, &state);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    const timespec times[2] = {{f.seconds, 0}, {f.seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
}

// --- The kit: the container streamed from the tree, then raw-deflated.

void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void PutString(std::string* out, const std::string& ascii) {
  PutU32(out, static_cast<std::uint32_t>(ascii.size()));
  for (char c : ascii) {
    out->push_back(c);
    out->push_back('\0');
  }
}

void MakeKit(const std::string& treeRoot, const std::vector<FileSpec>& files,
             const std::string& kitPath) {
  std::string header;
  PutU32(&header, 0);  // single-language layout
  PutString(&header, "Bench");
  PutString(&header, "Bench vendor");
  PutString(&header, "");
  PutU32(&header, static_cast<std::uint32_t>(files.size()));
  std::uint32_t offset = 0;
  for (const FileSpec& f : files) {
    std::string name = f.rel;
    std::replace(name.begin(), name.end(), '/', '\\');
    std::string body;
    PutString(&body, name);
    const std::uint64_t time = ordx::FileTimeFromUnix(f.seconds);
    PutU32(&body, static_cast<std::uint32_t>(time));
    PutU32(&body, static_cast<std::uint32_t>(time >> 32));
    PutU32(&body, offset);
    PutU32(&body, f.size);
    PutU32(&header, static_cast<std::uint32_t>(body.size() + 4));
    header += body;
    offset += f.size;
  }

  std::FILE* out = std::fopen(kitPath.c_str(), "wb");
  if (out == nullptr) Die("cannot write " + kitPath);
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) Die("deflateInit2");
  std::vector<unsigned char> buffer(1 << 20);
  auto feed = [&](const std::string& bytes, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      std::fwrite(buffer.data(), 1, buffer.size() - z.avail_out, out);
    } while (z.avail_out == 0);
  };
  feed(header, Z_NO_FLUSH);
  for (const FileSpec& f : files) {
    std::ifstream in(treeRoot + "/" + f.rel, std::ios::binary);
    std::string bytes(f.size, '\0');
    in.read(bytes.data(), f.size);
    feed(bytes, Z_NO_FLUSH);
  }
  feed(std::string(), Z_FINISH);
  deflateEnd(&z);
  std::fclose(out);
}

// --- Timed child processes.

struct Sample {
  double seconds = 0;
  // User and system time of the child and of the children it waited for
  // (tar's gzip): less noisy than wall time on a busy machine.
  double cpuSeconds = 0;
  long peakKb = 0;
  bool ok = false;
};

template <typename Child>
Sample TimeChild(Child child) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Die("fork");
  if (pid == 0) _exit(child());
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  Sample s;
  s.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  s.peakKb = usage.ru_maxrss;
  s.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return s;
}

// Our installation exactly as the installer does it: unpack, then install.
struct InstallFigures {
  std::uint64_t writes = 0;  // bytes the install run wrote (unpacking excluded)
  double runSeconds = 0;     // the install run alone
  double flushSeconds = 0;   // of which the flush before the commit
};

Sample RunInstall(const std::string& kitPath, const std::string& target,
                  InstallFigures* figures) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) Die("pipe");
  const Sample s = TimeChild([&] {
    close(pipeFds[0]);
    ordx::KitReader kit;
    if (kit.Open(Wide(kitPath)) != 0) return 2;
    auto written = [] {
      std::ifstream io("/proc/self/io");
      std::string key;
      std::uint64_t value = 0;
      while (io >> key >> value) {
        if (key == "wchar:") return value;
      }
      return std::uint64_t{0};
    };
    const std::uint64_t before = written();
    const auto start = Clock::now();
    ordx::InstallState state;
    state.SetJob(&kit, Wide(target));
    ordx::InstallWorker worker;
    worker.set_finish_pause_ms(0);
    const ordx::ErrorCode code = worker.Run(&state);
    InstallFigures out;
    out.runSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    out.writes = written() - before;
    out.flushSeconds = worker.flushSeconds();
    if (write(pipeFds[1], &out, sizeof(out)) != sizeof(out)) return 3;
    return code == 0 ? 0 : 4;
  });
  close(pipeFds[1]);
  InstallFigures got;
  if (read(pipeFds[0], &got, sizeof(got)) != sizeof(got)) got.writes = ~0ull;
  close(pipeFds[0]);
  if (figures != nullptr) *figures = got;
  return s;
}

Sample RunTar(const std::string& archive, const std::string& target) {
  return TimeChild([&] {
    execlp("tar", "tar", "-xzf", archive.c_str(), "-C", target.c_str(),
           static_cast<char*>(nullptr));
    return 127;
  });
}

void Recreate(const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

// Sets every file below `root` to be older than the kit's copy.
void MakeAllOlder(const std::string& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const timespec times[2] = {{kBaseSeconds - 86400, 0}, {kBaseSeconds - 86400, 0}};
    utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
  }
}

// Inode and change time of every file: any write, rename or time change
// shows up here.
std::map<std::string, std::pair<ino_t, std::int64_t>> Fingerprint(const std::string& root) {
  std::map<std::string, std::pair<ino_t, std::int64_t>> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    if (lstat(entry.path().c_str(), &st) != 0) continue;
    out[entry.path().string()] = {st.st_ino, st.st_ctim.tv_sec * 1000000000ll + st.st_ctim.tv_nsec};
  }
  return out;
}

struct Row {
  std::vector<double> ours, tar, run, flush, oursCpu, tarCpu;
  long oursPeak = 0, tarPeak = 0;
  bool ok = true;

  void AddOurs(const Sample& s, const InstallFigures& figures) {
    ours.push_back(s.seconds);
    oursCpu.push_back(s.cpuSeconds);
    run.push_back(figures.runSeconds);
    flush.push_back(figures.flushSeconds);
    oursPeak = std::max(oursPeak, s.peakKb);
    ok &= s.ok;
  }
  void AddTar(const Sample& s) {
    tar.push_back(s.seconds);
    tarCpu.push_back(s.cpuSeconds);
    tarPeak = std::max(tarPeak, s.peakKb);
    ok &= s.ok;
  }
};

void Report(const char* scenario, const Row& row) {
  const double o = Median(row.ours);
  const double t = Median(row.tar);
  std::printf("%-11s ours %7.3f s (install run %6.3f s, flush %6.4f s)  tar -xzf %7.3f s  "
              "ratio %5.2f  peak ours %6ld KiB  peak tar %6ld KiB%s\n",
              scenario, o, Median(row.run), Median(row.flush), t, o / t, row.oursPeak,
              row.tarPeak, row.ok ? "" : "  (FAILED RUN)");
  const double oc = Median(row.oursCpu);
  const double tc = Median(row.tarCpu);
  std::printf("%-11s CPU time: ours %7.3f s  tar -xzf %7.3f s (gzip included)  ratio %5.2f\n", "",
              oc, tc, oc / tc);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--files") options.files = std::atoi(argv[i + 1]);
    else if (key == "--mb") options.megabytes = std::atoi(argv[i + 1]);
    else if (key == "--runs") options.runs = std::atoi(argv[i + 1]);
    else if (key == "--dir") options.dir = argv[i + 1];
    else if (key == "--tmp") options.tmp = argv[i + 1];
    else if (key == "--save-kit") options.saveKit = argv[i + 1];
    else Die("unknown option " + key);
  }
  if (options.dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = tmp != nullptr && *tmp ? tmp : "/tmp";
    pattern += "/installbench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Die("mkdtemp");
    options.dir = pattern;
  }
  const std::string work = options.dir;
  const std::string source = work + "/source";
  const std::string kitPath = work + "/bench.dkt";
  const std::string archive = work + "/bench.tar.gz";
  const std::string ours = work + "/ours";
  const std::string theirs = work + "/tar";
  // The installer's unpacked kit goes here; the backups live in the
  // target's own transaction directory.
  const std::string tmp = options.tmp.empty() ? work + "/tmp" : options.tmp;
  fs::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);

  const std::vector<FileSpec> plan = PlanTree(options);
  std::uint64_t totalBytes = 0;
  for (const FileSpec& f : plan) totalBytes += f.size;
  std::printf("tree: %zu files, %.1f MB, nested directories; %d runs each, medians\n",
              plan.size(), double(totalBytes) / 1e6, options.runs);
  std::fflush(stdout);
  // Generated in a child of its own: the timed children are forked from
  // this process, and its big buffers would count in their peak memory.
  const Sample generated = TimeChild([&] {
    WriteTree(source, plan);
    MakeKit(source, plan, kitPath);
    return 0;
  });
  if (!generated.ok) Die("cannot generate the tree and the kit");
  const Sample packed = TimeChild([&] {
    execlp("tar", "tar", "-czf", archive.c_str(), "-C", source.c_str(), ".",
           static_cast<char*>(nullptr));
    return 127;
  });
  if (!packed.ok) Die("tar -czf failed");
  std::printf("kit %.1f MB, tar.gz %.1f MB\n", double(fs::file_size(kitPath)) / 1e6,
              double(fs::file_size(archive)) / 1e6);
  if (!options.saveKit.empty()) {
    fs::copy_file(kitPath, options.saveKit, fs::copy_options::overwrite_existing);
  }
  if (options.runs <= 0) {  // only the kit was wanted
    fs::remove_all(work);
    return 0;
  }

  Row fresh, upToDate, older;
  std::uint64_t upToDateWrites = 0;
  bool upToDateUntouched = true;
  for (int run = 0; run < options.runs; ++run) {
    // Into an empty directory.
    Recreate(ours);
    InstallFigures figures;
    fresh.AddOurs(RunInstall(kitPath, ours, &figures), figures);
    Recreate(theirs);
    fresh.AddTar(RunTar(archive, theirs));

    // Over the up-to-date copy each just made.
    const auto before = Fingerprint(ours);
    upToDate.AddOurs(RunInstall(kitPath, ours, &figures), figures);
    upToDateWrites = std::max(upToDateWrites, figures.writes);
    upToDateUntouched &= Fingerprint(ours) == before;
    upToDate.AddTar(RunTar(archive, theirs));

    // Over a copy whose files are all older.
    MakeAllOlder(ours);
    older.AddOurs(RunInstall(kitPath, ours, &figures), figures);
    MakeAllOlder(theirs);
    older.AddTar(RunTar(archive, theirs));
  }
  Report("empty dir", fresh);
  Report("up to date", upToDate);
  Report("all older", older);
  std::printf("up-to-date rerun: %llu bytes written by the install run, files %s\n",
              static_cast<unsigned long long>(upToDateWrites),
              upToDateUntouched ? "untouched (same inode and change time)" : "CHANGED");
  // The installed tree must equal the source.
  std::uint64_t installed = 0;
  for (const auto& entry : fs::recursive_directory_iterator(ours)) {
    if (entry.is_regular_file()) installed += entry.file_size();
  }
  std::printf("installed bytes %llu of %llu; leftovers in TMPDIR: %zu\n",
              static_cast<unsigned long long>(installed),
              static_cast<unsigned long long>(totalBytes),
              static_cast<std::size_t>(std::distance(fs::directory_iterator(tmp),
                                                     fs::directory_iterator())));
  fs::remove_all(work);
  return 0;
}
