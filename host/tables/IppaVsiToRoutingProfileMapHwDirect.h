// The Ippa VSI-to-routing-profile map: four VSIs' routing profiles per row.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
using IppaVsiToRoutingProfileMap = VsiToRoutingProfileMap<2>;
}

TERN_HW_TABLE(IppaVsiToRoutingProfileMapHwDirect, IppaVsiToRoutingProfileMap, 0x11, WriteMemory)
