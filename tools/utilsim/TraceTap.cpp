#include "tools/utilsim/TraceTap.h"

#include <cstdio>

#include "host/Trace.h"

namespace Utilsim {

TraceTap::TraceTap() { Qel::TraceConfig::sinkIs(&TraceTap::sink, this); }

TraceTap::~TraceTap() {
  Qel::TraceConfig::sinkIs(nullptr, nullptr);
  const auto rest = take("teardown: ");
  std::fwrite(rest.data(), 1, rest.size(), stderr);
}

void TraceTap::sink(void* tap, std::string_view line) {
  auto& pending = static_cast<TraceTap*>(tap)->pending_;
  pending.append(line);
  pending.push_back('\n');
}

std::string TraceTap::take(std::string_view prefix) {
  std::string out;
  for (std::size_t pos = 0; pos < pending_.size();) {
    const auto end = pending_.find('\n', pos) + 1;
    out.append(prefix).append(pending_, pos, end - pos);
    pos = end;
  }
  pending_.clear();
  return out;
}

}  // namespace Utilsim
