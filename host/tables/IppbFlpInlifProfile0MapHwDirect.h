// The Ippb FLP in-LIF profile 0 map: one byte per routing profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct IppbFlpInlifProfile0Map {
  using EntryKey = IndexKey<IppbFlpInlifProfile0Map, 256>;
#define TERN_FIELDS(X) X(unsigned char, csInlifProfile0)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(IppbFlpInlifProfile0MapHwDirect, IppbFlpInlifProfile0Map, 0x15, WriteMemory)
