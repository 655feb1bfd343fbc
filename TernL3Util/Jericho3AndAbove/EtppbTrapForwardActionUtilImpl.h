// Egress trap forward action row: every entry of the trap forward action data model writes
// the one row the chip reserves for egress forward action profile 6, starting from what the
// row holds.
#pragma once

#include "TernAsicUtils/UtilDesc.h"
#include "host/tables/EtppbTrapForwardActionTableHwDirect.h"

namespace TernL3Util::Jericho3AndAbove {
struct EtppbTrapForwardActionUtilImpl {
  using Layout = TernAsicUtils::Layouts::EtppbTrapForwardActionTable;
  static constexpr const char* kTraceName = "EtppbTrapForwardActionTableUtilImpl";
  using LogEntry = TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntry;
  static constexpr auto kProfile = TernPPExport::EGRESS_FWD_ACTION_PROFILE_TRAP;

  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const LogEntry& entry, Layout::EntryKey& key);
  // The values the data model carries, set before the set hook runs.
  static void prepareHwEntry(const LogEntry& entry, Layout::Entry& hwEntry) noexcept {
    hwEntry.outTmPortIs(entry.outPort);
    hwEntry.ppDspStampValueIs(entry.stampValue);
  }
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const LogEntry& entry, Layout::Entry& hwEntry);
  // Puts the port and stamp value back; the override bits and the rest stay.
  static void doRevertHwEntry(const TernAsicUtils::HookContext&, Asic::UnitId, const LogEntry&,
                              Layout::Entry& hwEntry);
};
}  // namespace TernL3Util::Jericho3AndAbove
