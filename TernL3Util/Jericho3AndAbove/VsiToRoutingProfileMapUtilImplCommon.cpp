#include "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon.h"

namespace TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMap {
void traceKey(const TernAsicUtils::HookContext& ctx, const TernL3Ni::RoutingStateEntryKey& key,
              std::uint8_t array, std::uint32_t index) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doGetHwEntryKey")
      << "SW entry key: " << key << ", HW entry: array " << static_cast<unsigned char>(array)
      << ", " << static_cast<unsigned char>(index);
}
}  // namespace TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMap
