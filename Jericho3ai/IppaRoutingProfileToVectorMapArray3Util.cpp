// Routing profiles' enable vectors into memory array 3 of the Ippa routing-profile-to-vector map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"
#include "host/tables/IppaRoutingProfileToVectorMapHwDirect.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMapUtilImplCommon<
      TernAsicUtils::Layouts::IppaRoutingProfileToVectorMap, 3>;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppaRoutingProfileToVectorMapArray3Util,
               ippaRoutingProfileToVectorMapArray3UtilFactory, Description)
