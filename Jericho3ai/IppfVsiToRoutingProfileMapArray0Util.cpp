// VSIs' routing profiles into memory array 0 of the Ippf VSI-to-routing-profile map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon.h"

namespace Jericho3ai {
struct IppfVsiToRoutingProfileMapArray0UtilDesc : TernAsicUtils::RoutingStateUtilDesc<0> {
  static constexpr const char* kName = "IppfVsiToRoutingProfileMapArray0Util";
  static constexpr const char* kImplName = "VsiToRoutingProfileMapUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMapUtilImplCommon<
      TernAsicUtils::Layouts::IppfVsiToRoutingProfileMap, 0>;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppfVsiToRoutingProfileMapArray0Util,
               ippfVsiToRoutingProfileMapArray0UtilFactory, IppfVsiToRoutingProfileMapHwDirect,
               ::Jericho3ai::IppfVsiToRoutingProfileMapArray0UtilDesc)
