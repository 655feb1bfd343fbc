// The Etppb trap forward action table: forward action overrides per egress profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct EtppbTrapForwardActionTable {
  using EntryKey = ValueKey<EtppbTrapForwardActionTable, 16>;
// clang-format off
#define TERN_FIELDS(X)                                                                         \
  X(unsigned char, outTmPort) X(U1, outTmPortOverride)                                         \
  X(unsigned char, ppDspStampValue) X(U1, ppDspStampValueOverride)                             \
  X(U1, dropForwardCopyOverride)                                                               \
  X(U4, forwardChData2) X(U1, forwardChData2Override)                                          \
  X(unsigned char, forwardChData4) X(U1, forwardChData4Override)                               \
  X(U1, otmChccOverride) X(U2, chcConditions) X(U3, ftmhTc) X(U1, ftmhTcOverride)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
  // clang-format on
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(EtppbTrapForwardActionTableHwDirect, EtppbTrapForwardActionTable, 0x20, WriteMemory)
