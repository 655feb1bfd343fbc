// The last routing profile's allow-default switches into the Ippd register.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppdAllowDefaultRouteUtilImpl.h"

namespace Jericho3ai {
struct IppdAllowDefaultRouteUtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppdAllowDefaultRouteUtil";
  static constexpr const char* kImplName = "IppdAllowDefaultRouteUtilImpl";
  static constexpr bool kStartFromShadow = true;
  static constexpr bool kRevertHookOnOtherKind = true;
  using Logic = TernL3Util::Jericho3AndAbove::IppdAllowDefaultRouteUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppdAllowDefaultRouteUtil, ippdAllowDefaultRouteUtilFactory,
               IppdAllowDefaultRouteHwReg, ::Jericho3ai::IppdAllowDefaultRouteUtilDesc)
