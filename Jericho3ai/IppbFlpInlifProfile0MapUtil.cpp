// Routing profiles' uRPF enables into the Ippb FLP in-LIF profile 0 map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl.h"

namespace Jericho3ai {
struct IppbFlpInlifProfile0MapUtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppbFlpInlifProfile0MapUtil";
  static constexpr const char* kImplName = "IppbFlpInlifProfile0MapUtilImpl";
  using Logic = TernL3Util::Jericho3AndAbove::IppbFlpInlifProfile0MapUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppbFlpInlifProfile0MapUtil, ippbFlpInlifProfile0MapUtilFactory,
               IppbFlpInlifProfile0MapHwDirect, ::Jericho3ai::IppbFlpInlifProfile0MapUtilDesc)
