// MTU profiles into their eight rows of the egress MTU map, through the table's own process hook.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/EtppcMtuMapTableUtilImpl.h"

namespace {
struct Description : TernAsicUtils::MtuProfileUtilDesc {
  using Logic = TernL3Util::Jericho3AndAbove::EtppcMtuMapTableUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3IntfUtil, EtppcMtuMapTableUtil, etppcMtuMapTableUtilFactory, Description)
