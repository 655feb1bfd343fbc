// Compiled by ctest with -fsyntax-only, once per HOOK_CASE: case 0 (a well-formed logic) must
// compile; every other case must be refused with the message that names the hook.
#include "TernAsicUtils/Util.h"

namespace {
using TernAsicUtils::HookContext;
using Layout = TernAsicUtils::Layouts::IppdAllowDefaultRoute;
using LogEntry = TernL3Ni::RoutingStateLogEntry;

struct Logic {
#if HOOK_CASE == 1  // the entry taken by value: its changes would be lost
  static void doSetHwEntry(const HookContext&, Asic::UnitId, const LogEntry&, Layout::Entry) {}
#elif HOOK_CASE == 2  // misspelt: no set hook at all
  static void doSetHwEnrty(const HookContext&, Asic::UnitId, const LogEntry&, Layout::Entry&) {}
#elif HOOK_CASE == 3  // the key hook with a wrong key type
  static void doGetHwEntryKey(const HookContext&, Asic::UnitId, const LogEntry&, unsigned&) {}
  static void doSetHwEntry(const HookContext&, Asic::UnitId, const LogEntry&, Layout::Entry&) {}
#else
  static void doGetHwEntryKey(const HookContext&, Asic::UnitId, const LogEntry&,
                              Layout::EntryKey&) {}
  static void doSetHwEntry(const HookContext&, Asic::UnitId, const LogEntry&, Layout::Entry&) {}
#endif
};

struct Desc : TernAsicUtils::RoutingStateUtilDesc<1> {
  static constexpr const char* kName = "CheckedUtil";
  static constexpr const char* kImplName = "CheckedUtilImpl";
  using Logic = ::Logic;
};

class CheckedUtil final
    : public TernAsicUtils::UtilT<CheckedUtil, Desc, bcm88890_a0::IppdAllowDefaultRouteHwReg,
                                  Hardware::kChipBcm88890A0> {
 public:
  using UtilT::UtilT;
};
}  // namespace

int main() { return sizeof(CheckedUtil) > 0 ? 0 : 1; }
