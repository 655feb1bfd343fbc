#include "TernL3Util/Jericho3AndAbove/EtppbTrapForwardActionUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/EtppbTrapForwardActionUtilImpl";
}

void EtppbTrapForwardActionUtilImpl::doGetHwEntryKey(const TernAsicUtils::HookContext& ctx,
                                                     Asic::UnitId, const LogEntry& entry,
                                                     Layout::EntryKey& key) {
  const auto index = static_cast<unsigned char>(
      TernPPExport::egress_fwd_action_profile_value(ctx.chipType, kProfile) & 0xff);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "getHwEntryKey")
      << "SW entry (key " << entry.key << ": HW index " << index;
  key = Layout::EntryKey(index);  // refuses an index above 16
}

void EtppbTrapForwardActionUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext&, Asic::UnitId,
                                                  const LogEntry& entry, Layout::Entry& hwEntry) {
  hwEntry.outTmPortOverrideIs(1);
  hwEntry.dropForwardCopyOverrideIs(1);
  hwEntry.forwardChData2Is(13);
  hwEntry.forwardChData2OverrideIs(1);
  hwEntry.forwardChData4Is(entry.stampValue);
  hwEntry.forwardChData4OverrideIs(1);
  hwEntry.ppDspStampValueOverrideIs(1);
  hwEntry.otmChccOverrideIs(1);
  hwEntry.chcConditionsIs(1);
  hwEntry.ftmhTcIs(7);
  hwEntry.ftmhTcOverrideIs(1);
}

void EtppbTrapForwardActionUtilImpl::doRevertHwEntry(const TernAsicUtils::HookContext&,
                                                     Asic::UnitId, const LogEntry&,
                                                     Layout::Entry& hwEntry) {
  const Layout::Entry defaults(hwEntry.key());
  hwEntry.outTmPortIs(defaults.outTmPort());
  hwEntry.ppDspStampValueIs(defaults.ppDspStampValue());
}
}  // namespace TernL3Util::Jericho3AndAbove
