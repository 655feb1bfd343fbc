#include "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl";
constexpr unsigned char kNoUrpf = 1, kUrpf = 3;
}  // namespace

void IppbFlpInlifProfile0MapUtilImpl::doGetHwEntryKey(const TernAsicUtils::HookContext& ctx,
                                                      Asic::UnitId,
                                                      const TernL3Ni::RoutingStateLogEntry& entry,
                                                      Layout::EntryKey& key) {
  key = Layout::EntryKey(entry.key().id & 0xff);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doGetHwEntryKey")
      << "SW entry key " << entry.key() << ": HW key " << key;
}

void IppbFlpInlifProfile0MapUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                   Asic::UnitId,
                                                   const TernL3Ni::RoutingStateLogEntry& entry,
                                                   Layout::Entry& hwEntry) {
  const auto index = static_cast<unsigned char>(entry.key().id & 0xff);
  const auto& urpf = entry.routingEnableProfile().urpfState;
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "SW entry key: " << entry.key() << ", HW entryIndex: " << index
      << ", urpfState: " << urpf;
  if (index == 0) {
    hwEntry.csInlifProfile0Is(kNoUrpf);
    QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
        << "Profile 0: csInlifProfile0 set to: " << kNoUrpf;
    return;
  }
  hwEntry.csInlifProfile0Is(urpf.ipv4Enabled || urpf.ipv6Enabled ? kUrpf : kNoUrpf);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "HwEntry CsInlif: " << hwEntry.csInlifProfile0();
}
}  // namespace TernL3Util::Jericho3AndAbove
