#include "host/Schan.h"

namespace SchanAccel {
void SchanCmd::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b),
                 "{{ op: {}, fapId: {}, instanceId: {}, block: 0x{:x}, address: {}, data: [",
                 opcodeName(opcode), fapId, instanceId, block, address);
  for (unsigned i = 0; i < words; ++i)
    fmt::format_to(std::back_inserter(b), "{}0x{:x}", i ? ", " : "", data[i]);
  Pavo::strepAppend(b, "] }");
}
}  // namespace SchanAccel
