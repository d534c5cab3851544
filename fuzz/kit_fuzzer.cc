// Fuzz target for kit unpacking and container reading. The first input byte
// picks what the rest is: with bit 0 clear it is the kit file itself (raw
// deflate); with bit 0 set it is a container, deflated here first (stored
// with bit 1 set, else level 1) so the fuzzer reaches the table parser
// without having to produce valid deflate data. Every inflate backend built
// in decodes the kit, and they must agree on the result and the bytes.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kit/decompress.h"
#include "kit/kit_reader.h"
#include "text/convert.h"

namespace {

// A private working directory, also made the process's TMPDIR so that the
// reader's unpacked copies land there and leaks can be seen. Kept in plain
// storage: the exit handler that removes it runs after static destructors.
char g_workDir[4096];

void RemoveWorkDir() {
  unlink((std::string(g_workDir) + "/kit").c_str());
  rmdir(g_workDir);
}

const char* WorkDir() {
  if (g_workDir[0] == '\0') {
    const char* base = std::getenv("TMPDIR");
    const std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kitfuzz.XXXXXX";
    if (pattern.size() >= sizeof(g_workDir)) std::abort();
    std::memcpy(g_workDir, pattern.c_str(), pattern.size() + 1);
    if (mkdtemp(g_workDir) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    setenv("TMPDIR", g_workDir, 1);
    std::atexit(RemoveWorkDir);
  }
  return g_workDir;
}

std::string Deflate(const std::uint8_t* data, std::size_t size, int level) {
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string out(deflateBound(&z, static_cast<uLong>(size)) + 16, '\0');
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

int CountDirectoryEntries(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d == nullptr) std::abort();
  int count = 0;
  while (const dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++count;
  closedir(d);
  return count;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "kit_fuzzer: %s\n", what);
    std::abort();
  }
}

// Unpacks the kit with one backend; the bytes only when it succeeded.
ordx::ErrorCode Unpack(const std::string& kitPath, ordx::InflateBackend backend,
                       std::string* bytes) {
  ordx::ScopedHandle kit;
  ordx::ScopedHandle out;
  Check(ordx::OpenRegularFile(ordx::ToWide(ordx::NarrowString(kitPath.c_str())), kit.out()) == 0,
        "cannot open the kit");
  Check(ordx::CreateAnonymousFile(ordx::ToWide(ordx::NarrowString(g_workDir)), out.out()) == 0,
        "cannot make the output");
  ordx::DecompressOptions options;
  options.backend = backend;
  const ordx::ErrorCode rc = ordx::DecompressKit(kit.get(), out.get(), options);
  bytes->clear();
  if (rc != 0) return rc;
  std::uint64_t size = 0;
  Check(ordx::GetFileSizeOf(out.get(), &size) == 0, "cannot size the output");
  bytes->resize(size);
  std::uint32_t got = 0;
  Check(ordx::ReadFileAt(out.get(), 0, bytes->data(), static_cast<std::uint32_t>(size), &got) ==
                0 &&
            got == size,
        "cannot read the output");
  return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string dir = WorkDir();
  const std::string kitPath = dir + "/kit";
  const std::uint8_t mode = data[0];
  std::string kit;
  if (mode & 1) {
    kit = Deflate(data + 1, size - 1, (mode & 2) ? 0 : 1);
  } else {
    kit.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  FILE* f = std::fopen(kitPath.c_str(), "wb");
  Check(f != nullptr, "cannot write the kit");
  Check(std::fwrite(kit.data(), 1, kit.size(), f) == kit.size(), "cannot write the kit");
  std::fclose(f);

  const std::vector<ordx::InflateBackend> backends = ordx::BuiltInflateBackends();
  std::string first;
  const ordx::ErrorCode expected = Unpack(kitPath, backends[0], &first);
  for (std::size_t i = 1; i < backends.size(); ++i) {
    std::string other;
    Check(Unpack(kitPath, backends[i], &other) == expected, "the backends disagree on the result");
    Check(other == first, "the backends disagree on the bytes");
  }

  {
    ordx::KitReader reader(4096);
    const ordx::ErrorCode rc = reader.Open(ordx::ToWide(ordx::NarrowString(kitPath.c_str())));
    Check(expected == 0 || rc == expected, "the reader and the unpacking disagree");
    if (rc == 0) {
      Check(reader.file() != ordx::kInvalidHandle, "open reader without a file");
      Check(reader.dataStart() <= reader.unpackedSize(), "data start past the end");
      for (const ordx::KitEntry& e : reader.entries()) {
        Check(ordx::IsSafeEntryName(e.name), "unsafe name accepted");
        Check(e.dataOffset >= reader.dataStart(), "offset before the data region");
      }
      Check(CountDirectoryEntries(dir) == 1, "the unpacked copy has a name");
    } else {
      Check(reader.entries().empty(), "entries kept after a failure");
      Check(reader.file() == ordx::kInvalidHandle, "file kept after a failure");
    }
  }
  // Only the input kit itself may remain.
  Check(CountDirectoryEntries(dir) == 1, "a temporary file was left behind");
  return 0;
}
