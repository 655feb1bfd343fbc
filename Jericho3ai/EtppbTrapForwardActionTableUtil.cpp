// The trap forward action data model into the egress trap forward action row.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/EtppbTrapForwardActionUtilImpl.h"

namespace {
struct Description : TernAsicUtils::TrapForwardActionUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  static constexpr bool kStartFromShadow = true;
  using Logic = TernL3Util::Jericho3AndAbove::EtppbTrapForwardActionUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, EtppbTrapForwardActionTableUtil,
               etppbTrapForwardActionTableUtilFactory, Description)
