// Fuzz target for kit unpacking and reading. With bit 0 of the first byte clear the rest
// is the kit (raw deflate); with it set, a container deflated here (stored with bit 1), so
// the fuzzer reaches the table parser. All inflate backends must give one code and bytes.
#include <cstdio>
#include <filesystem>

#include "support/kit_builder.h"
#include "kit/decompress.h"
#include "kit/kit_reader.h"
#include "text/convert.h"

namespace {

using namespace ordx;

void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "kit_fuzzer: %s\n", what), std::abort();
}

// A private folder, also made TMPDIR, so that a leaked unpacked copy shows.
const std::string& WorkDir() {
  static std::string dir = std::filesystem::temp_directory_path() / "kitfuzz.XXXXXX";
  if (dir.ends_with("XXXXXX") && mkdtemp(dir.data()) != nullptr) {
    setenv("TMPDIR", dir.c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(WorkDir()); });
  }
  return dir;
}

WideString Wide(const std::string& path) { return ToWide(NarrowString(path.c_str())); }
// The code of unpacking with `backend`; `bytes` gets the output when it succeeds.
ErrorCode Unpack(const std::string& kitPath, InflateBackend backend, std::string* bytes) {
  ScopedHandle kit, out;
  Check(OpenRegularFile(Wide(kitPath), kit.out()) == 0, "cannot open the kit");
  Check(CreateAnonymousFile(Wide(WorkDir()), out.out()) == 0, "cannot make the output");
  DecompressOptions options;
  options.backend = backend;
  const ErrorCode rc = DecompressKit(kit.get(), out.get(), options);
  *bytes = rc == 0 ? kittest::ReadBytes("/proc/self/fd/" + std::to_string(out.get())) : "";
  return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string kitPath = WorkDir() + "/kit";
  kittest::WriteBytes(kitPath, data[0] & 1 ? kittest::DeflateRaw(rest, data[0] & 2 ? 0 : 1) : rest);
  std::string first, other;
  const ErrorCode expected = Unpack(kitPath, BuiltInflateBackends()[0], &first);
  for (const InflateBackend backend : BuiltInflateBackends()) {
    Check(Unpack(kitPath, backend, &other) == expected, "the backends disagree on the result");
    Check(other == first, "the backends disagree on the bytes");
  }
  KitReader reader(4096);
  const ErrorCode rc = reader.Open(Wide(kitPath));
  Check(expected == 0 || rc == expected, "the reader and the unpacking disagree");
  Check((rc == 0) == (reader.file() != kInvalidHandle), "the copy is open after a failure");
  Check(rc == 0 || reader.entries().empty(), "entries kept after a failure");
  const std::filesystem::directory_iterator left(WorkDir());  // the kit alone: copies have no name
  Check(std::ranges::distance(left) == 1, "a temporary file was left behind");
  return 0;
}
