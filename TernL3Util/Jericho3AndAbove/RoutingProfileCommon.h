// What the routing-profile tables share: the hardware index of a profile and the level-2
// traces of their key and set hooks (each table traces under its own file identifier).
#pragma once

#include "TernAsicUtils/UtilDesc.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfile {
// Only the low eight bits of a profile id address the hardware; higher ids fold onto them.
constexpr std::uint32_t indexOf(std::uint32_t id) noexcept { return id & 0xff; }

// "SW entry key: <key>, HW entry: array <a>, <index>"
void traceArrayKey(const TernAsicUtils::HookContext& ctx, const char* file,
                   const TernL3Ni::RoutingStateEntryKey& key, std::uint8_t array,
                   std::uint32_t index);

// "SW entry key <key>: HW key <hw>"
template <class HwKey>
void traceKey(const TernAsicUtils::HookContext& ctx, const char* file,
              const TernL3Ni::RoutingStateEntryKey& key, const HwKey& hw) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, file, "doGetHwEntryKey")
      << "SW entry key " << key << ": HW key " << hw;
}

// "SW entry key: <key>, HW entryIndex: <index>, urpfState: <flags>"
void traceUrpf(const TernAsicUtils::HookContext& ctx, const char* file,
               const TernL3Ni::RoutingStateLogEntry& entry);
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfile
