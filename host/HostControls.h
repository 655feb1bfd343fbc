// Controls a host program has over answers the agent would give, so that a test can make the
// agent answer differently. Not part of what the plug-in sees.
#pragma once

#include "host/LogEntries.h"

namespace TernPPExport {
// Replaces the hardware index egress_fwd_action_profile_value answers (null restores the
// built-in one).
using EgressFwdActionProfileValueFn = std::uint32_t (*)(Hardware::ChipType,
                                                        egress_fwd_action_profile);
void egressFwdActionProfileValueOverrideIs(EgressFwdActionProfileValueFn fn) noexcept;
namespace detail {
extern EgressFwdActionProfileValueFn egressFwdActionProfileValue;
}
// The replacement in force; null while the built-in answer applies.
inline EgressFwdActionProfileValueFn egressFwdActionProfileValueOverride() noexcept {
  return detail::egressFwdActionProfileValue;
}
}  // namespace TernPPExport
