// Routing profiles' enable vectors into memory array 0 of the Ippf routing-profile-to-vector map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"
#include "host/tables/IppfRoutingProfileToVectorMapHwDirect.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMapUtilImplCommon<
      TernAsicUtils::Layouts::IppfRoutingProfileToVectorMap, 0>;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppfRoutingProfileToVectorMapArray0Util,
               ippfRoutingProfileToVectorMapArray0UtilFactory, Description)
