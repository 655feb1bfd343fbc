// The Ippf VSI-to-routing-profile map: four VSIs' routing profiles per row.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
using IppfVsiToRoutingProfileMap = VsiToRoutingProfileMap<0>;
}

TERN_HW_TABLE(IppfVsiToRoutingProfileMapHwDirect, IppfVsiToRoutingProfileMap, 0x10, WriteMemory)
