#include "tools/utilsim/Latency.h"

#include <algorithm>
#include <bit>

namespace Utilsim {

unsigned LatencyHistogram::bucket(std::uint64_t ns) noexcept {
  if (ns < kExact) return unsigned(ns);
  const unsigned top = unsigned(std::bit_width(ns)) - 1;  // 13 and above
  const unsigned octave = std::min(top - 13, kOctaves - 1);
  const unsigned sub = unsigned(ns >> (top - 6)) & (kSub - 1);
  return kExact + octave * kSub + sub;
}

std::int64_t LatencyHistogram::bucketValue(unsigned b) noexcept {
  if (b < kExact) return b;
  const unsigned octave = (b - kExact) / kSub, sub = (b - kExact) % kSub;
  return std::int64_t(std::uint64_t(kSub + sub) << (octave + 7));
}

void LatencyHistogram::add(std::int64_t ns) noexcept {
  if (ns < 0) ns = 0;
  ++counts_[bucket(std::uint64_t(ns))];
  ++count_;
  max_ = std::max(max_, ns);
}

std::int64_t LatencyHistogram::percentile(unsigned percent) const noexcept {
  if (count_ == 0) return 0;
  const std::uint64_t rank = std::max<std::uint64_t>(1, (count_ * percent + 99) / 100);
  std::uint64_t seen = 0;
  for (unsigned b = 0; b < counts_.size(); ++b) {
    seen += counts_[b];
    if (seen >= rank) return std::min(bucketValue(b), max_);
  }
  return max_;
}

}  // namespace Utilsim
