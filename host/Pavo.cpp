#include "host/Pavo.h"

namespace Pavo {
void RangeException::throwException(const char* text) { throw RangeException(text); }
}  // namespace Pavo
