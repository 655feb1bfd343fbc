// The Ippa routing-profile-to-vector map: a routing enable vector per routing profile.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
using IppaRoutingProfileToVectorMap = RoutingProfileToVectorMap<2>;
}

TERN_HW_TABLE(IppaRoutingProfileToVectorMapHwDirect, IppaRoutingProfileToVectorMap, 0x13,
              WriteMemory)
