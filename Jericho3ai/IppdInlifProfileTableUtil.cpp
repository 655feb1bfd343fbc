// Routing profiles' IPv4 and IPv6 RPF modes into the Ippd in-LIF profile table.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppdInlifProfileTableUtilImpl.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  using Logic = TernL3Util::Jericho3AndAbove::IppdInlifProfileTableUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppdInlifProfileTableUtil, ippdInlifProfileTableUtilFactory,
               Description)
