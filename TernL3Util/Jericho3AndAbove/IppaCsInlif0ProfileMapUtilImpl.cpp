#include "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr unsigned char kProfile0 = 0x1, kIpv4Urpf = 0x2, kIpv6Urpf = 0x4;
}  // namespace

void IppaCsInlif0ProfileMapFields::set(const TernAsicUtils::HookContext& ctx, std::uint32_t index,
                                       const TernL3Ni::UrpfStateFlags& urpf,
                                       Layout::Entry& hwEntry) {
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
