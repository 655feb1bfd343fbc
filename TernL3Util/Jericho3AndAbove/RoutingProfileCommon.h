// What the routing-profile tables share: the hardware index of a profile, the level-2 traces
// of their key and set hooks (each table traces under its own file identifier), and the two
// hooks of a table with one row per profile.
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

// The hooks of a table with one row per routing profile. The key is the profile's index, in
// array Table::kArray when the key has arrays; the set hook traces the profile's uRPF state,
// then Table::set sets the row's fields from it. Table gives Layout, kFile (the identifier
// its traces carry) and
//   static void set(const HookContext&, std::uint32_t index, const UrpfStateFlags&, Entry&);
// A table with kTraceIndex traces the key as the bare index.
template <class Table>
struct TableLogic {
  using Layout = typename Table::Layout;
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              typename Layout::EntryKey& key) {
    const std::uint32_t index = indexOf(entry.key().id);
    if constexpr (requires { Table::kArray; })
      key = typename Layout::EntryKey(Table::kArray, index);
    else
      key = typename Layout::EntryKey(index);
    if constexpr (requires { Table::kTraceIndex; })
      traceKey(ctx, Table::kFile, entry.key(), static_cast<unsigned int>(index));
    else
      traceKey(ctx, Table::kFile, entry.key(), key);
  }
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry,
                           typename Layout::Entry& hwEntry) {
    traceUrpf(ctx, Table::kFile, entry);
    Table::set(ctx, indexOf(entry.key().id), entry.routingEnableProfile().urpfState, hwEntry);
  }
};
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfile
