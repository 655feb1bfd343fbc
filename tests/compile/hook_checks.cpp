// Compiled by ctest with -fsyntax-only, once per HOOK_CASE: case 0 (a well-formed logic) must
// compile; every other case must be refused with the message that names the hook or member.
#include "TernAsicUtils/Util.h"
#include "TernL3Util/Jericho3AndAbove/RoutingProfileCommon.h"
#include "host/HwTables.h"

namespace {
using TernAsicUtils::HookContext;
using Layout = TernAsicUtils::Layouts::IppdAllowDefaultRoute;
using LogEntry = TernL3Ni::RoutingStateLogEntry;

struct Logic {
  static constexpr const char* kTraceName = "CheckedUtilImpl";
#if HOOK_CASE != 5  // case 5: a routing-state logic that does not say which entries it reads
  static constexpr auto kEntryKind = TernL3Ni::RoutingStateEntryKind::RoutingProfile;
#endif
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

struct Desc : TernAsicUtils::RoutingStateUtilDesc {
  static constexpr const char* kName = "CheckedUtil";
  using Logic = ::Logic;
};

class CheckedUtil final
    : public TernAsicUtils::UtilT<CheckedUtil, Desc, bcm88890_a0::IppdAllowDefaultRouteHwReg,
                                  Hardware::kChipBcm88890A0> {
 public:
  using UtilT::UtilT;
};

// A table with one row per routing profile; case 4 misspells its one optional-looking member.
struct ProfileFields {
  using Layout = TernAsicUtils::Layouts::IppdInlifProfileTable;
  static constexpr const char* kFile = "CheckedUtilImpl";
#if HOOK_CASE == 4
  static constexpr auto kKeyTxt = TernL3Util::Jericho3AndAbove::RoutingProfile::KeyText::Index;
#else
  static constexpr auto kKeyText = TernL3Util::Jericho3AndAbove::RoutingProfile::KeyText::Index;
#endif
  static void set(const HookContext&, std::uint32_t, const TernL3Ni::UrpfStateFlags&,
                  Layout::Entry&) {}
};
using ProfileLogic = TernL3Util::Jericho3AndAbove::RoutingProfile::TableLogic<ProfileFields>;
static_assert(sizeof(ProfileLogic) > 0);

#if HOOK_CASE == 6  // a table whose block shares its low byte with the MTU map's (0x21)
struct Clashing {};
#endif
}  // namespace

#if HOOK_CASE == 6
template <>
struct TernAsicUtils::HwTableRow<Clashing> {
  static constexpr std::uint16_t kBlock = 0x121;
};
static_assert(TernAsicUtils::detail::blocksApartInOrder(
    TernAsicUtils::TypeList<TernAsicUtils::Layouts::EtppcMtuMapTable, Clashing>{}));
#endif

int main() { return sizeof(CheckedUtil) > 0 ? 0 : 1; }
