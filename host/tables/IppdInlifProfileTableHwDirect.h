// The Ippd in-LIF profile table: the IPv4 and IPv6 RPF modes per routing profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct IppdInlifProfileTable {
  using EntryKey = IndexKey<IppdInlifProfileTable, 256>;
#define TERN_FIELDS(X) X(U2, inLifRpfModeIpv4) X(U2, inLifRpfModeIpv6)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(IppdInlifProfileTableHwDirect, IppdInlifProfileTable, 0x16, WriteMemory)
