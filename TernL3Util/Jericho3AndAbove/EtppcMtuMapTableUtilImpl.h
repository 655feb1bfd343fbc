// Egress MTU map: each MTU profile owns eight consecutive rows, all written whole by every
// entry of the profile; a deleted profile leaves its rows at the largest size.
#pragma once

#include "TernAsicUtils/UtilDesc.h"
#include "host/tables/EtppcMtuMapTableHwDirect.h"

namespace TernL3Util::Jericho3AndAbove {
struct EtppcMtuMapTableUtilImpl {
  using Layout = TernAsicUtils::Layouts::EtppcMtuMapTable;
  static constexpr const char* kTraceName = "EtppcMtuMapTableUtilImpl";
  static constexpr unsigned kRowsPerProfile = 8;
  static constexpr std::uint32_t kDeletedMtu = 0x3fff;
  static constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/EtppcMtuMapTableUtilImpl";

  static void traceEntry(const TernAsicUtils::HookContext& ctx,
                         const TernL3Intf::MtuProfileLogEntry& entry, bool isDelete, unsigned base);
  static void traceRow(const TernAsicUtils::HookContext& ctx, unsigned index);

  // Writes the profile's rows and appends their commands to `out`, row by row. Checks that
  // can fail (the key range, the size) run while building a row, before it is written.
  template <class Table>
  static void userProcessSwEntry(const TernAsicUtils::HookContext& ctx,
                                 const TernL3Intf::MtuProfileLogEntryWrapper& w,
                                 SchanAccel::SchanCmds& out, Table& table) {
    const bool isDelete = w.isDelete();
    const Asic::UnitId unit = w.unitId();
    const TernAsicUtils::HwShadowKey shadowKey(unit.fapId(), unit.instanceId());
    const TernL3Intf::MtuProfileLogEntry& entry = w.entry();
    const unsigned base = std::uint32_t(entry.key.value) << 3;
    if (ctx.implTrace.enabled(2)) [[unlikely]]
      traceEntry(ctx, entry, isDelete, base);
    for (unsigned index = base; index < base + kRowsPerProfile; ++index) {
      Layout::Entry row{Layout::EntryKey(index)};
      row.mtuByteSizeIs(isDelete ? U14(kDeletedMtu) : U14(entry.mtuBytes));
      row.mtuActionProfileIdxIs(0);
      table.setEntry(shadowKey, row);
      if (ctx.implTrace.enabled(2)) [[unlikely]]
        traceRow(ctx, index);
      table.appendSchanCmds(out, shadowKey, row.key());
    }
  }
};
}  // namespace TernL3Util::Jericho3AndAbove
