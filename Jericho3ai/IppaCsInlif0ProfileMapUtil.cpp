// Routing profiles' uRPF enables into the Ippa CS in-LIF profile 0 map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppaCsInlif0ProfileMapUtilImpl.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr bool kWrapKeyMapping = true;
  using Logic = TernL3Util::Jericho3AndAbove::IppaCsInlif0ProfileMapUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppaCsInlif0ProfileMapUtil, ippaCsInlif0ProfileMapUtilFactory,
               Description)
