// MTU profiles into their eight rows of the egress MTU map, through the table's own process hook.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/EtppcMtuMapTableUtilImpl.h"

namespace Jericho3ai {
struct EtppcMtuMapTableUtilDesc : TernAsicUtils::MtuProfileUtilDesc {
  static constexpr const char* kName = "EtppcMtuMapTableUtil";
  static constexpr const char* kImplName = "EtppcMtuMapTableUtilImpl";
  using Logic = TernL3Util::Jericho3AndAbove::EtppcMtuMapTableUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3IntfUtil, EtppcMtuMapTableUtil, etppcMtuMapTableUtilFactory,
               EtppcMtuMapTableHwDirect, ::Jericho3ai::EtppcMtuMapTableUtilDesc)
