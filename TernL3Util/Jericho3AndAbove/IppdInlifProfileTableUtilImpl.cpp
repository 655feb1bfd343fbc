#include "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl";
}

void IppdInlifProfileTableUtilImpl::doGetHwEntryKey(const TernAsicUtils::HookContext& ctx,
                                                    Asic::UnitId,
                                                    const TernL3Ni::RoutingStateLogEntry& entry,
                                                    Layout::EntryKey& key) {
  const std::uint32_t index = RoutingProfile::indexOf(entry.key().id);
  key = Layout::EntryKey(index);
  RoutingProfile::traceKey(ctx, kFile, entry.key(), static_cast<unsigned int>(index));
}

void IppdInlifProfileTableUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                 Asic::UnitId,
                                                 const TernL3Ni::RoutingStateLogEntry& entry,
                                                 Layout::Entry& hwEntry) {
  const auto& urpf = entry.routingEnableProfile().urpfState;
  RoutingProfile::traceUrpf(ctx, kFile, entry);
  hwEntry.inLifRpfModeIpv4Is(rpfMode(urpf.ipv4Enabled, urpf.ipv4Strict));
  hwEntry.inLifRpfModeIpv6Is(rpfMode(urpf.ipv6Enabled, urpf.ipv6Strict));
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "HwEntry inLifRpfModeIpv4: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv4())
      << ", HwEntry inLifRpfModeIpv6: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv6());
}
}  // namespace TernL3Util::Jericho3AndAbove
