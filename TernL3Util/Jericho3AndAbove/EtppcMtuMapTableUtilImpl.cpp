#include "TernL3Util/Jericho3AndAbove/EtppcMtuMapTableUtilImpl.h"

namespace TernL3Util::Jericho3AndAbove {
void EtppcMtuMapTableUtilImpl::traceEntry(const TernAsicUtils::HookContext& ctx,
                                          const TernL3Intf::MtuProfileLogEntry& entry,
                                          bool isDelete, unsigned base) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "userProcessSwEntry")
      << " swEntry : " << entry << " isDelete : " << isDelete << " base_index : " << base;
}

void EtppcMtuMapTableUtilImpl::traceRow(const TernAsicUtils::HookContext& ctx, unsigned index) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, kFile, "userProcessSwEntry")
      << " Index " << index << " Written to shadow ";
}
}  // namespace TernL3Util::Jericho3AndAbove
