// Fuzz target for kit unpacking and reading. With bit 0 of the first byte clear the rest
// is the kit (raw deflate); with it set, a container deflated here (stored with bit 1), so
// the fuzzer reaches the table parser. All inflate backends must give one code and bytes.
#include <cstdio>

#include "kit/decompress.h"
#include "kit/kit_reader.h"
#include "kit_forge.h"
#include "support/temp_tree.h"

namespace {

using namespace ordx;
using testsupport::W;

void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "kit_fuzzer: %s\n", what), std::abort();
}

// A private folder with its own TMPDIR, so that a leaked unpacked copy shows; removed at exit.
const testsupport::TempTree& Work() {
  static const testsupport::TempTree tree;
  return tree;
}

// The code of unpacking with `backend`; `bytes` gets the output when it succeeds.
ErrorCode Unpack(const std::string& kitPath, InflateBackend backend, std::string* bytes) {
  ScopedHandle kit, out;
  Check(OpenRegularFile(W(kitPath), kit.out()) == 0, "cannot open the kit");
  Check(CreateAnonymousFile(W(Work().tmp_), out.out()) == 0, "cannot make the output");
  DecompressOptions options;
  options.backend = backend;
  const ErrorCode rc = DecompressKit(kit.get(), out.get(), options);
  *bytes = rc == 0 ? testsupport::ReadBytes("/proc/self/fd/" + std::to_string(out.get())) : "";
  return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string kitPath = Work().Path("kit");
  testsupport::WriteBytes(kitPath, data[0] & 1 ? kittest::DeflateRaw(rest, data[0] & 2 ? 0 : 1) : rest);
  std::string first, other;
  const ErrorCode expected = Unpack(kitPath, BuiltInflateBackends()[0], &first);
  for (const InflateBackend backend : BuiltInflateBackends()) {
    Check(Unpack(kitPath, backend, &other) == expected, "the backends disagree on the result");
    Check(other == first, "the backends disagree on the bytes");
  }
  KitReader reader(4096);
  const ErrorCode rc = reader.Open(W(kitPath));
  Check(expected == 0 || rc == expected, "the reader and the unpacking disagree");
  Check((rc == 0) == (reader.file() != kInvalidHandle), "the copy is open after a failure");
  Check(rc == 0 || reader.entries().empty(), "entries kept after a failure");
  Check(testsupport::CountEntries(Work().tmp_) == 0, "a temporary file was left behind");  // copies have no name
  return 0;
}
