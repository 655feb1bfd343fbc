// The table registry: every hardware table of the chip, each with its own header in
// host/tables/ (its layout and its TERN_HW_TABLE row: class name, block, opcode), listed here
// once, in block order. From the list come the tables' descriptions (HwTableInfo::all(), by
// which host programs decode commands and list tables), the chip model's table objects and
// the tests over every table; from each row, the table's two revision classes, its
// description and their trackers. Only what needs every table includes this header: a Util
// includes its own table's header, so that a change of one table recompiles little.
#pragma once

#include "host/TypeList.h"
#include "host/tables/EtppbTrapForwardActionTableHwDirect.h"
#include "host/tables/EtppcMtuMapTableHwDirect.h"
#include "host/tables/IppaCsInlif0ProfileMapHwDirect.h"
#include "host/tables/IppaRoutingProfileToVectorMapHwDirect.h"
#include "host/tables/IppaVsiToRoutingProfileMapHwDirect.h"
#include "host/tables/IppbFlpInlifProfile0MapHwDirect.h"
#include "host/tables/IppdAllowDefaultRouteHwReg.h"
#include "host/tables/IppdInlifProfileTableHwDirect.h"
#include "host/tables/IppfRoutingProfileToVectorMapHwDirect.h"
#include "host/tables/IppfVsiToRoutingProfileMapHwDirect.h"

namespace TernAsicUtils {
// Every table's layout, in block order.
using HwTables = TypeList<Layouts::IppfVsiToRoutingProfileMap,     // 0x10
                          Layouts::IppaVsiToRoutingProfileMap,     // 0x11
                          Layouts::IppfRoutingProfileToVectorMap,  // 0x12
                          Layouts::IppaRoutingProfileToVectorMap,  // 0x13
                          Layouts::IppaCsInlif0ProfileMap,         // 0x14
                          Layouts::IppbFlpInlifProfile0Map,        // 0x15
                          Layouts::IppdInlifProfileTable,          // 0x16
                          Layouts::IppdAllowDefaultRoute,          // 0x17
                          Layouts::EtppbTrapForwardActionTable,    // 0x20
                          Layouts::EtppcMtuMapTable>;              // 0x21

namespace detail {
// A command names its table by its block, and HwTableInfo::byBlock finds the table by the
// block's low byte: no two tables may share it. A clash fails here, with both layouts named
// in the compiler's "required from" lines.
template <class A, class B>
consteval bool blocksApart() {
  static_assert((HwTableRow<A>::kBlock & 0xff) != (HwTableRow<B>::kBlock & 0xff),
                "two tables' blocks have the same low byte (the index of HwTableInfo::byBlock): "
                "give the new table a block whose low byte no table in host/HwTables.h has");
  static_assert(HwTableRow<A>::kBlock < HwTableRow<B>::kBlock,
                "host/HwTables.h lists the tables in block order: put the new table where its "
                "block belongs");
  return true;
}
template <class A, class... Later>
consteval bool apartFromLater() {
  return (blocksApart<A, Later>() && ...);
}
consteval bool blocksApartInOrder(TypeList<>) { return true; }
template <class A, class... Later>
consteval bool blocksApartInOrder(TypeList<A, Later...>) {
  return apartFromLater<A, Later...>() && blocksApartInOrder(TypeList<Later...>{});
}
}  // namespace detail
static_assert(detail::blocksApartInOrder(HwTables{}));
}  // namespace TernAsicUtils
