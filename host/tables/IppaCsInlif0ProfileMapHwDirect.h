// The Ippa CS in-LIF profile 0 map: one byte per routing profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct IppaCsInlif0ProfileMap {
  using EntryKey = ArrayIndexKey<IppaCsInlif0ProfileMap, 2, 255, false>;
#define TERN_FIELDS(X) X(unsigned char, csInlif0Profile)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(IppaCsInlif0ProfileMapHwDirect, IppaCsInlif0ProfileMap, 0x14, WriteMemory)
