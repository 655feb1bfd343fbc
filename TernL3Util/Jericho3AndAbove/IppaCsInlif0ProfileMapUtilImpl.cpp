#include "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl";
constexpr unsigned char kProfile0 = 0x1, kIpv4Urpf = 0x2, kIpv6Urpf = 0x4;
}  // namespace

void IppaCsInlif0ProfileMapUtilImpl::doGetHwEntryKey(const TernAsicUtils::HookContext& ctx,
                                                     Asic::UnitId,
                                                     const TernL3Ni::RoutingStateLogEntry& entry,
                                                     Layout::EntryKey& key) {
  key = Layout::EntryKey(kArray, RoutingProfile::indexOf(entry.key().id));
  RoutingProfile::traceKey(ctx, kFile, entry.key(), key);
}

void IppaCsInlif0ProfileMapUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                  Asic::UnitId,
                                                  const TernL3Ni::RoutingStateLogEntry& entry,
                                                  Layout::Entry& hwEntry) {
  const std::uint32_t index = RoutingProfile::indexOf(entry.key().id);
  const auto& urpf = entry.routingEnableProfile().urpfState;
  RoutingProfile::traceUrpf(ctx, kFile, entry);
  unsigned char value = hwEntry.csInlif0Profile();
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "Initial hwEntry.csInlif0Profile(): " << value;
  if (index == 0) {
    hwEntry.csInlif0ProfileIs(kProfile0);
    QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
        << "Profile 0: csInlif0Profile set to: " << kProfile0;
    return;
  }
  // The other bits pass through from the starting entry.
  value = static_cast<unsigned char>(value & ~kIpv4Urpf);
  if (urpf.ipv4Enabled) value |= kIpv4Urpf;
  value = static_cast<unsigned char>(value & ~kIpv6Urpf);
  if (urpf.ipv6Enabled) value |= kIpv6Urpf;
  hwEntry.csInlif0ProfileIs(value);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "Final HwEntry CsInlif: " << hwEntry.csInlif0Profile();
}
}  // namespace TernL3Util::Jericho3AndAbove
