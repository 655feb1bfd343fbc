// What the routing-profile tables share: the hardware index of a profile and the level-2
// traces of their key and set hooks (each table traces under its own file identifier).
#pragma once

#include "TernAsicUtils/UtilDesc.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfile {
// Only the low eight bits of a profile id address the hardware; higher ids fold onto them.
constexpr std::uint32_t indexOf(std::uint32_t id) noexcept { return id & 0xff; }

// The traces' texts are built out of line; the level test stays in the caller.
void traceArrayKeyText(const TernAsicUtils::HookContext& ctx, const char* file,
                       const TernL3Ni::RoutingStateEntryKey& key, std::uint8_t array,
                       std::uint32_t index);
void traceUrpfText(const TernAsicUtils::HookContext& ctx, const char* file,
                   const TernL3Ni::RoutingStateLogEntry& entry);

// "SW entry key: <key>, HW entry: array <a>, <index>"
inline void traceArrayKey(const TernAsicUtils::HookContext& ctx, const char* file,
                          const TernL3Ni::RoutingStateEntryKey& key, std::uint8_t array,
                          std::uint32_t index) {
  if (ctx.implTrace.enabled(2)) [[unlikely]]
    traceArrayKeyText(ctx, file, key, array, index);
}

// "SW entry key <key>: HW key <hw>"
template <class HwKey>
void traceKey(const TernAsicUtils::HookContext& ctx, const char* file,
              const TernL3Ni::RoutingStateEntryKey& key, const HwKey& hw) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, file, "doGetHwEntryKey")
      << "SW entry key " << key << ": HW key " << hw;
}

// "SW entry key: <key>, HW entryIndex: <index>, urpfState: <flags>"
inline void traceUrpf(const TernAsicUtils::HookContext& ctx, const char* file,
                      const TernL3Ni::RoutingStateLogEntry& entry) {
  if (ctx.implTrace.enabled(2)) [[unlikely]]
    traceUrpfText(ctx, file, entry);
}
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfile
