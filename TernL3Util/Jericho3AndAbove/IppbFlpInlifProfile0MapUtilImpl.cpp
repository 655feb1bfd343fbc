#include "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
namespace {
constexpr unsigned char kNoUrpf = 1, kUrpf = 3;
}  // namespace

void IppbFlpInlifProfile0MapFields::set(const TernAsicUtils::HookContext& ctx, std::uint32_t index,
                                        const TernL3Ni::UrpfStateFlags& urpf,
                                        Layout::Entry& hwEntry) {
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
