// The ISA-L backend of RawInflater: isal_inflate() on raw deflate with the
// full 32 KiB history.
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <climits>

#include "kit/raw_inflater.h"

namespace ordx {

namespace {

class IsalInflater final : public RawInflater {
 public:
  // The state holds the decoding tables (about 40 KiB), so it lives on the heap.
  IsalInflater() : state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_DEFLATE;
    state_->hist_bits = 0;  // the whole 32 KiB window
  }

  Result Inflate(const std::uint8_t** in, std::size_t* inSize, std::uint8_t** out,
                 std::size_t* outSize) override {
    if (done_ != Result::kMore) return done_;
    inflate_state* const s = state_.get();
    const auto inUnits = static_cast<std::uint32_t>(std::min<std::size_t>(*inSize, UINT32_MAX));
    const auto outUnits = static_cast<std::uint32_t>(std::min<std::size_t>(*outSize, UINT32_MAX));
    s->next_in = const_cast<std::uint8_t*>(*in);
    s->avail_in = inUnits;
    s->next_out = *out;
    s->avail_out = outUnits;
    const int rc = isal_inflate(s);
    *in += inUnits - s->avail_in;
    *inSize -= inUnits - s->avail_in;
    *out += outUnits - s->avail_out;
    *outSize -= outUnits - s->avail_out;
    if (rc < 0 || rc == ISAL_NEED_DICT) {
      done_ = Result::kBad;
    } else if (s->block_state == ISAL_BLOCK_FINISH) {
      done_ = Result::kEnd;
    }
    return done_;
  }

 private:
  std::unique_ptr<inflate_state> state_;
  Result done_ = Result::kMore;
};

}  // namespace

std::unique_ptr<RawInflater> MakeIsalInflater() { return std::make_unique<IsalInflater>(); }

}  // namespace ordx
