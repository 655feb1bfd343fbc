#include "host/Strep.h"

namespace Pavo {
void vstrepFormat(StrepBuf& b, fmt::string_view format, fmt::format_args args) {
  fmt::vformat_to(std::back_inserter(b), format, args);
}
}  // namespace Pavo
