// VSIs' routing profiles into memory array 3 of the Ippa VSI-to-routing-profile map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon.h"

namespace Jericho3ai {
struct IppaVsiToRoutingProfileMapArray3UtilDesc : TernAsicUtils::RoutingStateUtilDesc<0> {
  static constexpr const char* kName = "IppaVsiToRoutingProfileMapArray3Util";
  static constexpr const char* kImplName = "VsiToRoutingProfileMapUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMapUtilImplCommon<
      TernAsicUtils::Layouts::IppaVsiToRoutingProfileMap, 3>;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppaVsiToRoutingProfileMapArray3Util,
               ippaVsiToRoutingProfileMapArray3UtilFactory, IppaVsiToRoutingProfileMapHwDirect,
               ::Jericho3ai::IppaVsiToRoutingProfileMapArray3UtilDesc)
