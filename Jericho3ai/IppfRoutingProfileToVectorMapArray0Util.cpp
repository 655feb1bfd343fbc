// Routing profiles' enable vectors into memory array 0 of the Ippf routing-profile-to-vector map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"

namespace Jericho3ai {
struct IppfRoutingProfileToVectorMapArray0UtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppfRoutingProfileToVectorMapArray0Util";
  static constexpr const char* kImplName = "RoutingProfileToVectorMapUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMapUtilImplCommon<
      TernAsicUtils::Layouts::IppfRoutingProfileToVectorMap, 0>;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppfRoutingProfileToVectorMapArray0Util,
               ippfRoutingProfileToVectorMapArray0UtilFactory,
               IppfRoutingProfileToVectorMapHwDirect,
               ::Jericho3ai::IppfRoutingProfileToVectorMapArray0UtilDesc)
