#include "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
void IppdInlifProfileTableFields::set(const TernAsicUtils::HookContext& ctx, std::uint32_t,
                                      const TernL3Ni::UrpfStateFlags& urpf,
                                      Layout::Entry& hwEntry) {
  hwEntry.inLifRpfModeIpv4Is(rpfMode(urpf.ipv4Enabled, urpf.ipv4Strict));
  hwEntry.inLifRpfModeIpv6Is(rpfMode(urpf.ipv6Enabled, urpf.ipv6Strict));
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "doSetHwEntry")
      << "HwEntry inLifRpfModeIpv4: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv4())
      << ", HwEntry inLifRpfModeIpv6: " << static_cast<unsigned int>(hwEntry.inLifRpfModeIpv6());
}
}  // namespace TernL3Util::Jericho3AndAbove
