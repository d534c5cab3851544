// Picks a RawInflater backend. ORDX_HAVE_ISAL is set by the build when
// libisal was found and not turned off with -DORDX_INFLATE=zlib.
#include "kit/raw_inflater.h"

namespace ordx {

std::unique_ptr<RawInflater> MakeZlibInflater();
#ifdef ORDX_HAVE_ISAL
std::unique_ptr<RawInflater> MakeIsalInflater();
#endif

InflateBackend DefaultInflateBackend() {
#ifdef ORDX_HAVE_ISAL
  return InflateBackend::kIsal;
#else
  return InflateBackend::kZlib;
#endif
}

std::vector<InflateBackend> BuiltInflateBackends() {
#ifdef ORDX_HAVE_ISAL
  return {InflateBackend::kIsal, InflateBackend::kZlib};
#else
  return {InflateBackend::kZlib};
#endif
}

const char* InflateBackendName(InflateBackend backend) {
  return backend == InflateBackend::kIsal ? "isa-l" : "zlib";
}

std::unique_ptr<RawInflater> MakeRawInflater(InflateBackend backend) {
#ifdef ORDX_HAVE_ISAL
  if (backend == InflateBackend::kIsal) return MakeIsalInflater();
#endif
  if (backend == InflateBackend::kZlib) return MakeZlibInflater();
  return nullptr;
}

}  // namespace ordx
