// Routing profiles' uRPF enables into the Ippa CS in-LIF profile 0 map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl.h"

namespace Jericho3ai {
struct IppaCsInlif0ProfileMapUtilDesc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "IppaCsInlif0ProfileMapUtil";
  static constexpr const char* kImplName = "IppaCsInlif0ProfileMapUtilImpl";
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::IppaCsInlif0ProfileMapUtilImpl;
};
}  // namespace Jericho3ai

TERN_UTIL_FILE(TernL3NiUtil, IppaCsInlif0ProfileMapUtil, ippaCsInlif0ProfileMapUtilFactory,
               IppaCsInlif0ProfileMapHwDirect, ::Jericho3ai::IppaCsInlif0ProfileMapUtilDesc)
