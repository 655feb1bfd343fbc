// The table registry: every hardware table of the chip, one row each. A row names the
// table class, its layout (the row format: key, entry, rows; host/TableLayouts.h gives the
// shapes), the block its commands address and their opcode. From the rows come the two
// revision classes of each table, their descriptions (HwTableInfo::all(), by which host
// programs decode commands and list tables), their allocation trackers, the chip model's
// table objects and the texts a key refuses a value with. Nothing else lists the tables.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
using IppfVsiToRoutingProfileMap = VsiToRoutingProfileMap<0>;
using IppaVsiToRoutingProfileMap = VsiToRoutingProfileMap<2>;
using IppfRoutingProfileToVectorMap = RoutingProfileToVectorMap<0>;
using IppaRoutingProfileToVectorMap = RoutingProfileToVectorMap<2>;

struct IppaCsInlif0ProfileMap {
  using EntryKey = ArrayIndexKey<IppaCsInlif0ProfileMap, 2, 255, false>;
#define TERN_FIELDS(X) X(unsigned char, csInlif0Profile)
  TERN_PLAIN_ENTRY(1, TERN_FIELDS)
#undef TERN_FIELDS
};

struct IppbFlpInlifProfile0Map {
  using EntryKey = IndexKey<IppbFlpInlifProfile0Map, 256>;
#define TERN_FIELDS(X) X(unsigned char, csInlifProfile0)
  TERN_PLAIN_ENTRY(1, TERN_FIELDS)
#undef TERN_FIELDS
};

struct IppdInlifProfileTable {
  using EntryKey = IndexKey<IppdInlifProfileTable, 256>;
#define TERN_FIELDS(X) X(U2, inLifRpfModeIpv4) X(U2, inLifRpfModeIpv6)
  TERN_PLAIN_ENTRY(1, TERN_FIELDS)
#undef TERN_FIELDS
};

struct IppdAllowDefaultRoute {
  using EntryKey = RegisterKey<IppdAllowDefaultRoute>;
#define TERN_FIELDS(X) X(U1, strictRpfAllowDefault) X(U1, ucLooseRpfAllowDefault)
  TERN_PLAIN_ENTRY(1, TERN_FIELDS)
#undef TERN_FIELDS
};

struct EtppbTrapForwardActionTable {
  using EntryKey = ValueKey<EtppbTrapForwardActionTable, 16>;
// clang-format off
#define TERN_FIELDS(X)                                                                         \
  X(unsigned char, outTmPort) X(U1, outTmPortOverride)                                         \
  X(unsigned char, ppDspStampValue) X(U1, ppDspStampValueOverride)                             \
  X(U1, dropForwardCopyOverride)                                                               \
  X(U4, forwardChData2) X(U1, forwardChData2Override)                                          \
  X(unsigned char, forwardChData4) X(U1, forwardChData4Override)                               \
  X(U1, otmChccOverride) X(U2, chcConditions) X(U3, ftmhTc) X(U1, ftmhTcOverride)
  TERN_PLAIN_ENTRY(2, TERN_FIELDS)
  // clang-format on
#undef TERN_FIELDS
};

struct EtppcMtuMapTable {
  using EntryKey = ValueKey<EtppcMtuMapTable, 128>;
#define TERN_FIELDS(X) X(U14, mtuByteSize) X(U2, mtuActionProfileIdx)
  TERN_PLAIN_ENTRY(1, TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

// X(class name, layout, block, opcode), in block order.
#define TERN_FOR_EACH_HW_TABLE(X)                                                            \
  X(IppfVsiToRoutingProfileMapHwDirect, IppfVsiToRoutingProfileMap, 0x10, WriteMemory)       \
  X(IppaVsiToRoutingProfileMapHwDirect, IppaVsiToRoutingProfileMap, 0x11, WriteMemory)       \
  X(IppfRoutingProfileToVectorMapHwDirect, IppfRoutingProfileToVectorMap, 0x12, WriteMemory) \
  X(IppaRoutingProfileToVectorMapHwDirect, IppaRoutingProfileToVectorMap, 0x13, WriteMemory) \
  X(IppaCsInlif0ProfileMapHwDirect, IppaCsInlif0ProfileMap, 0x14, WriteMemory)               \
  X(IppbFlpInlifProfile0MapHwDirect, IppbFlpInlifProfile0Map, 0x15, WriteMemory)             \
  X(IppdInlifProfileTableHwDirect, IppdInlifProfileTable, 0x16, WriteMemory)                 \
  X(IppdAllowDefaultRouteHwReg, IppdAllowDefaultRoute, 0x17, WriteRegister)                  \
  X(EtppbTrapForwardActionTableHwDirect, EtppbTrapForwardActionTable, 0x20, WriteMemory)     \
  X(EtppcMtuMapTableHwDirect, EtppcMtuMapTable, 0x21, WriteMemory)

// What the registry says of a table, reached through its layout.
#define TERN_HW_TABLE_ROW(Name, Layout, Block, Opcode)               \
  template <>                                                        \
  struct TernAsicUtils::HwTableRow<TernAsicUtils::Layouts::Layout> { \
    static constexpr const char* kName = #Name;                      \
    static constexpr std::uint16_t kBlock = Block;                   \
    static constexpr auto kOpcode = SchanAccel::SchanOpcode::Opcode; \
    static const HwTableInfo info;                                   \
  };

// One table class per revision; the tracker doubles as the class's exact-type tag.
#define TERN_HW_TABLE_CLASS(Rev, Name, Layout)                                                  \
  namespace Rev {                                                                               \
  class Name final : public ::TernAsicUtils::HwTableT<Name, ::TernAsicUtils::Layouts::Layout> { \
   public:                                                                                      \
    static constexpr const char* kClassName = #Rev "::" #Name;                                  \
    static constexpr const char* kTableName = #Name;                                            \
    static ::Qel::AllocTrackTypeInfo memAllocationTracker_;                                     \
    using HwTableT::HwTableT;                                                                   \
  };                                                                                            \
  }

#define TERN_HW_TABLE(Name, Layout, Block, Opcode) \
  TERN_HW_TABLE_ROW(Name, Layout, Block, Opcode)   \
  TERN_HW_TABLE_CLASS(bcm88890_a0, Name, Layout)   \
  TERN_HW_TABLE_CLASS(bcm88890_b0, Name, Layout)

TERN_FOR_EACH_HW_TABLE(TERN_HW_TABLE)
