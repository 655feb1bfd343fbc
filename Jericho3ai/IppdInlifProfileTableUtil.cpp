// Routing profiles' IPv4 and IPv6 RPF modes into the Ippd in-LIF profile table.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl.h"

namespace Jericho3ai {
struct IppdInlifProfileTableUtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppdInlifProfileTableUtil";
  static constexpr const char* kImplName = "IppdInlifProfileTableUtilImpl";
  using Logic = TernL3Util::Jericho3AndAbove::IppdInlifProfileTableUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppdInlifProfileTableUtil, ippdInlifProfileTableUtilFactory,
               IppdInlifProfileTableHwDirect, ::Jericho3ai::IppdInlifProfileTableUtilDesc)
