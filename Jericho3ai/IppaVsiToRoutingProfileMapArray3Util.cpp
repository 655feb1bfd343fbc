// VSIs' routing profiles into memory array 3 of the Ippa VSI-to-routing-profile map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon.h"
#include "host/tables/IppaVsiToRoutingProfileMapHwDirect.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMapUtilImplCommon<
      TernAsicUtils::Layouts::IppaVsiToRoutingProfileMap, 3>;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppaVsiToRoutingProfileMapArray3Util,
               ippaVsiToRoutingProfileMapArray3UtilFactory, Description)
