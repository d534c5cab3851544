// The zlib backend of RawInflater: inflate() with a raw 32 KiB window.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "kit/raw_inflater.h"

namespace ordx {

namespace {

class ZlibInflater final : public RawInflater {
 public:
  ZlibInflater() {
    std::memset(&z_, 0, sizeof(z_));
    ready_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
  }
  ~ZlibInflater() override {
    if (ready_) inflateEnd(&z_);
  }
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  bool ready() const { return ready_; }

  Result Inflate(const std::uint8_t** in, std::size_t* inSize, std::uint8_t** out,
                 std::size_t* outSize) override {
    if (done_ != Result::kMore) return done_;
    // zlib counts in 32 bits; callers hand over far less anyway.
    const auto inUnits = static_cast<uInt>(std::min<std::size_t>(*inSize, UINT_MAX));
    const auto outUnits = static_cast<uInt>(std::min<std::size_t>(*outSize, UINT_MAX));
    z_.next_in = const_cast<Bytef*>(*in);
    z_.avail_in = inUnits;
    z_.next_out = *out;
    z_.avail_out = outUnits;
    const int rc = inflate(&z_, Z_NO_FLUSH);
    *in += inUnits - z_.avail_in;
    *inSize -= inUnits - z_.avail_in;
    *out += outUnits - z_.avail_out;
    *outSize -= outUnits - z_.avail_out;
    // Z_BUF_ERROR only says that no progress was possible with these
    // buffers; the caller sees that from the ranges.
    if (rc == Z_OK || rc == Z_BUF_ERROR) return Result::kMore;
    done_ = rc == Z_STREAM_END ? Result::kEnd : Result::kBad;
    return done_;
  }

 private:
  z_stream z_;
  bool ready_ = false;
  Result done_ = Result::kMore;
};

}  // namespace

std::unique_ptr<RawInflater> MakeZlibInflater() {
  auto inflater = std::make_unique<ZlibInflater>();
  if (!inflater->ready()) return nullptr;
  return inflater;
}

}  // namespace ordx
