// The Etppc MTU map: a maximum packet size per row, eight rows per MTU profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct EtppcMtuMapTable {
  using EntryKey = ValueKey<EtppcMtuMapTable, 128>;
#define TERN_FIELDS(X) X(U14, mtuByteSize) X(U2, mtuActionProfileIdx)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(EtppcMtuMapTableHwDirect, EtppcMtuMapTable, 0x21, WriteMemory)
