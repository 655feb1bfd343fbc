#include "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr const char* kFile = "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl";
}

void IppdInlifProfileTableUtilImpl::doGetHwEntryKey(const TernAsicUtils::HookContext& ctx,
                                                    Asic::UnitId,
                                                    const TernL3Ni::RoutingStateLogEntry& entry,
                                                    Layout::EntryKey& key) {
  const std::uint32_t index = entry.key().id & 0xff;
  key = Layout::EntryKey(index);
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doGetHwEntryKey")
      << "SW entry key " << entry.key() << ": HW key " << static_cast<unsigned int>(index);
}

void IppdInlifProfileTableUtilImpl::doSetHwEntry(const TernAsicUtils::HookContext& ctx,
                                                 Asic::UnitId,
                                                 const TernL3Ni::RoutingStateLogEntry& entry,
                                                 Layout::Entry& hwEntry) {
  const auto index = static_cast<unsigned char>(entry.key().id & 0xff);
  const auto& urpf = entry.routingEnableProfile().urpfState;
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "SW entry key: " << entry.key() << ", HW entryIndex: " << index
      << ", urpfState: " << urpf;
  hwEntry.inLifRpfModeIpv4Is(rpfMode(urpf.ipv4Enabled, urpf.ipv4Strict));
  hwEntry.inLifRpfModeIpv6Is(rpfMode(urpf.ipv6Enabled, urpf.ipv6Strict));
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "HwEntry inLifRpfModeIpv4: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv4())
      << ", HwEntry inLifRpfModeIpv6: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv6());
}
}  // namespace TernL3Util::Jericho3AndAbove
