// The trap forward action data model into the egress trap forward action row.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/EtppbTrapForwardActionUtilImpl.h"

namespace Jericho3ai {
struct EtppbTrapForwardActionTableUtilDesc : TernAsicUtils::TrapForwardActionUtilDesc {
  static constexpr const char* kName = "EtppbTrapForwardActionTableUtil";
  static constexpr const char* kImplName = "EtppbTrapForwardActionTableUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::EtppbTrapForwardActionUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, EtppbTrapForwardActionTableUtil,
               etppbTrapForwardActionTableUtilFactory, EtppbTrapForwardActionTableHwDirect,
               ::Jericho3ai::EtppbTrapForwardActionTableUtilDesc)
