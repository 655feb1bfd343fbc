#include "tools/utilsim/Progress.h"

#include <fmt/format.h>
#include <unistd.h>

#include <string>

namespace Utilsim {

Progress::Progress(bool enabled, bool forced, std::int64_t size)
    : enabled_(enabled), forced_(forced), tty_(isatty(2) == 1), size_(size), start_(Clock::now()) {}

void Progress::tick(const char* phase, std::uint64_t count, std::uint64_t bytes) {
  if (!enabled_ || ++calls_ % 8192 != 0) return;
  const auto now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(500))
    return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::string text =
      fmt::format("utilsim: {} {} lines, {:.0f} per second", phase, count, double(count) / seconds);
  if (size_ > 0) text += fmt::format(", {:.0f} %", 100.0 * double(bytes) / double(size_));
  if (tty_)
    fmt::print(stderr, "\r{:<78}", text);
  else
    fmt::print(stderr, "{}\n", text);
  shown_ = true;
}

void Progress::done() {
  if (shown_ && tty_) fmt::print(stderr, "\r{:78}\r", "");
  shown_ = false;
}

void Progress::finish(std::uint64_t entries) {
  done();
  if (!forced_) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  fmt::print(stderr, "utilsim: replayed {} entries in {:.2f} s, {:.0f} per second\n", entries,
             seconds, seconds > 0 ? double(entries) / seconds : 0.0);
}

}  // namespace Utilsim
