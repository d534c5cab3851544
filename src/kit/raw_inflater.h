// One interface for decoding raw deflate (RFC 1951), with a zlib and an
// ISA-L backend. Both must agree on every input: same result, same bytes,
// and the same end of stream, whatever follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ordx {

enum class InflateBackend { kZlib, kIsal };

// The backend the installer uses: ISA-L where the build found it.
InflateBackend DefaultInflateBackend();
// Every backend built into this program, the default first.
std::vector<InflateBackend> BuiltInflateBackends();
const char* InflateBackendName(InflateBackend backend);

class RawInflater {
 public:
  enum class Result {
    kMore,  // all input used or the output is full: call again with more
    kEnd,   // the final block ended; nothing more comes out
    kBad,   // the data is not deflate; every later call says so too
  };

  virtual ~RawInflater() = default;

  // Decodes from [*in, *in + *inSize) into [*out, *out + *outSize) and
  // advances both ranges past what it used and produced. Bytes after the
  // end of the stream may be taken from the input but are never decoded.
  virtual Result Inflate(const std::uint8_t** in, std::size_t* inSize, std::uint8_t** out,
                         std::size_t* outSize) = 0;
};

// A fresh decoder, or nullptr when its state cannot be allocated.
std::unique_ptr<RawInflater> MakeRawInflater(InflateBackend backend);

}  // namespace ordx
