#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap {
namespace {
// Vector bit pair of each flag; flags 1 and 2 are crossed in the chip's layout.
constexpr unsigned kFlagBit[5] = {8, 12, 10, 14, 16};
}  // namespace

Brim::PerUnitBitmap enableVector(const TernAsicUtils::HookContext& ctx,
                                 const TernL3Ni::RoutingStateFlags& flags) {
  Brim::PerUnitBitmap vector;
  for (unsigned f = 0; f < 5; ++f)
    if (flags.flag[f]) vector.bitsOr(kFlagBit[f], 3, 2);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "RoutingEnableVector: " << vector.bitmapToString();
  return vector;
}
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap
