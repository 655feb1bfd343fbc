// The Ippf routing-profile-to-vector map: a routing enable vector per routing profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
using IppfRoutingProfileToVectorMap = RoutingProfileToVectorMap<0>;
}

TERN_HW_TABLE(IppfRoutingProfileToVectorMapHwDirect, IppfRoutingProfileToVectorMap, 0x12,
              WriteMemory)
