// Routing profiles' uRPF enables into the Ippb FLP in-LIF profile 0 map.
#include "TernAsicUtils/UtilFile.h"
#include "TernL3Util/Jericho3AndAbove/IppbFlpInlifProfile0MapUtilImpl.h"

namespace {
struct Description : TernAsicUtils::RoutingStateUtilDesc {
  using Logic = TernL3Util::Jericho3AndAbove::IppbFlpInlifProfile0MapUtilImpl;
};
}  // namespace

TERN_UTIL_FILE(TernL3NiUtil, IppbFlpInlifProfile0MapUtil, ippbFlpInlifProfile0MapUtilFactory,
               Description)
