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
  key = Layout::EntryKey(RoutingProfile::indexOf(entry.key().id));
  RoutingProfile::traceKey(ctx, kFile, entry.key(), key);
}

void IppbFlpInlifProfile0MapUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                   Asic::UnitId,
                                                   const TernL3Ni::RoutingStateLogEntry& entry,
                                                   Layout::Entry& hwEntry) {
  const std::uint32_t index = RoutingProfile::indexOf(entry.key().id);
  const auto& urpf = entry.routingEnableProfile().urpfState;
  RoutingProfile::traceUrpf(ctx, kFile, entry);
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
