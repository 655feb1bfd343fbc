#include "host/HostControls.h"

namespace TernPPExport {
EgressFwdActionProfileValueFn detail::egressFwdActionProfileValue = nullptr;

void egressFwdActionProfileValueOverrideIs(EgressFwdActionProfileValueFn fn) noexcept {
  detail::egressFwdActionProfileValue = fn;
}
}  // namespace TernPPExport
