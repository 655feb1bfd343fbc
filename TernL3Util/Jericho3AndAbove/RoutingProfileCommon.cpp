#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfile {
void traceArrayKeyText(const TernAsicUtils::HookContext& ctx, const char* file,
                       const TernL3Ni::RoutingStateEntryKey& key, std::uint8_t array,
                       std::uint32_t index) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, file, "doGetHwEntryKey")
      << "SW entry key: " << key << ", HW entry: array " << static_cast<unsigned char>(array)
      << ", " << static_cast<unsigned char>(index);
}

void traceUrpfText(const TernAsicUtils::HookContext& ctx, const char* file,
                   const TernL3Ni::RoutingStateLogEntry& entry) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, file, "doSetHwEntry")
      << "SW entry key: " << entry.key()
      << ", HW entryIndex: " << static_cast<unsigned char>(indexOf(entry.key().id))
      << ", urpfState: " << entry.routingEnableProfile().urpfState;
}
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfile
