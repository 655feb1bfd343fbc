// Routing profiles' enable vectors into memory array 3 of the Ippa routing-profile-to-vector map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"

namespace Jericho3ai {
struct IppaRoutingProfileToVectorMapArray3UtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppaRoutingProfileToVectorMapArray3Util";
  static constexpr const char* kImplName = "RoutingProfileToVectorMapUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMapUtilImplCommon<
      TernAsicUtils::Layouts::IppaRoutingProfileToVectorMap, 3>;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppaRoutingProfileToVectorMapArray3Util,
               ippaRoutingProfileToVectorMapArray3UtilFactory,
               IppaRoutingProfileToVectorMapHwDirect,
               ::Jericho3ai::IppaRoutingProfileToVectorMapArray3UtilDesc)
