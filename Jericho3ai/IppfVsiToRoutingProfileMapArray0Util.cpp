// VSIs' routing profiles into memory array 0 of the Ippf VSI-to-routing-profile map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/VsiToRoutingProfileMapUtilImplCommon.h"
#include "host/tables/IppfVsiToRoutingProfileMapHwDirect.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::VsiToRoutingProfileMapUtilImplCommon<
      TernAsicUtils::Layouts::IppfVsiToRoutingProfileMap, 0>;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppfVsiToRoutingProfileMapArray0Util,
               ippfVsiToRoutingProfileMapArray0UtilFactory, Description)
