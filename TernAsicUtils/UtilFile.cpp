#include "TernAsicUtils/UtilFile.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace TernAsicUtils {
namespace {
const char kLogFlags[] = "\x01";
}

// Read by the agent's log registry from the loaded object: exactly these three records,
// back to back.
__attribute__((section(".veltro_logmsg"), used)) const Qel::LogDescriptor kLogDescriptors[3] = {
    {"HW_ABSTRACTION_EXCEPTION", "%s", "Exception", kLogFlags, 3, 0},
    {"HW_ABSTRACTION_RELAUNCH_ERROR", "%s", "Duplicate Writer Detected, flume path not cleaned up",
     kLogFlags, 3, 0},
    {"HW_ABSTRACTION_ERROR", "Hardware abstraction error: unable to load item: %s",
     "Hardware abstraction error: unable to load some persistent items. Some agents will be "
     "restarted",
     kLogFlags, 3, 0},
};

namespace {
// Graceful-assert mode: only the exact value "assert" turns it on.
void computeGracefulAssertMode() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* v = std::getenv("GRACEFUL_ASSERT_MODE");
    Asic::mode = (v && std::strcmp(v, "assert") == 0) ? 1 : 0;
  });
}
}  // namespace

UtilFileInit::UtilFileInit(Pavo::ModuleInspectData& module)
    : logHandles_{Qel::LogHandle(&kLogDescriptors[HW_ABSTRACTION_ERROR], 0, 1.0, 0, 0),
                  Qel::LogHandle(&kLogDescriptors[HW_ABSTRACTION_RELAUNCH_ERROR], 0, 1.0, 0, 0),
                  Qel::LogHandle(&kLogDescriptors[HW_ABSTRACTION_EXCEPTION], 0, 1.0, 0, 0)} {
  computeGracefulAssertMode();
  module.loaded();
}
}  // namespace TernAsicUtils
