// The last routing profile's allow-default switches into the Ippd register.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppdAllowDefaultRouteUtilImpl.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kStartFromShadow = true;
  static constexpr bool kRevertHookOnOtherKind = true;
  using Logic = TernL3Util::Jericho3AndAbove::IppdAllowDefaultRouteUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppdAllowDefaultRouteUtil, ippdAllowDefaultRouteUtilFactory,
               Description)
