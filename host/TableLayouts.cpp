#include "host/TableLayouts.h"

namespace TernAsicUtils {
void throwKeyRange(const char* table, const char* field, const char* low, const char* high) {
  const std::string key = fmt::format("bcm88890_a0::{}::EntryKey::", table);
  Pavo::RangeException::throwException(
      fmt::format("{}{} < {}{} or > {}{} not allowed", key, field, key, low, key, high).c_str());
}
}  // namespace TernAsicUtils
