#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap {
void traceVector(const TernAsicUtils::HookContext& ctx, const Brim::PerUnitBitmap& vector) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "RoutingEnableVector: " << vector.bitmapToString();
}
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap
