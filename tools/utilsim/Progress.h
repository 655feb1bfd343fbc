// Progress of a long run on standard error: lines checked or replayed, their rate, and the
// share of the file read.
#pragma once

#include <chrono>
#include <cstdint>

namespace Utilsim {

class Progress {
 public:
  // Shown when enabled, for runs long enough to wonder (a second); `forced` (--progress) also
  // gives a last line with the entries and their rate, whatever the length of the run.
  Progress(bool enabled, bool forced, std::int64_t size);
  void tick(const char* phase, std::uint64_t count, std::uint64_t bytes);
  // Clears a line left on a terminal.
  void done();
  // After the replay.
  void finish(std::uint64_t entries);

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_, forced_, tty_;
  std::int64_t size_;
  Clock::time_point start_, last_;
  std::uint64_t calls_ = 0;
  bool shown_ = false;
};

}  // namespace Utilsim
