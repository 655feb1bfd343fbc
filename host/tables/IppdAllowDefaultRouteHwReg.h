// The Ippd allow-default-route register: one row of two switches.
#pragma once

#include "host/TableLayouts.h"

namespace TernAsicUtils::Layouts {
struct IppdAllowDefaultRoute {
  using EntryKey = RegisterKey<IppdAllowDefaultRoute>;
#define TERN_FIELDS(X) X(U1, strictRpfAllowDefault) X(U1, ucLooseRpfAllowDefault)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts

TERN_HW_TABLE(IppdAllowDefaultRouteHwReg, IppdAllowDefaultRoute, 0x17, WriteRegister)
