// The checked entries of a log, in order, read and checked ahead on a second thread while
// the caller replays: with two cores, reading costs the replay next to nothing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/utilsim/Files.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Progress.h"

namespace Utilsim {

// Checks a line as the reader cut it (a line too long for the reader is an error of its own).
bool checkLine(const LineReader::Line& line, InputEntry& entry, std::vector<InputError>& errors);

// Checks the lines of the input from where it stands to its end, or until
// InputLimits::kMaxErrors problems were found: each valid entry goes to `take`, each problem to
// `errors`. Returns the line checking gave up at, 0 when it reached the end.
unsigned checkInput(LineReader& input, std::vector<InputError>& errors,
                    const std::function<void(const InputEntry&)>& take);

// A log in a file is checked whole before anything is replayed, so that a bad line replays
// nothing (a pipe, which can be read only once, is checked as it is replayed). False after
// every problem was printed; the input is back at its start otherwise.
bool checkLog(LineReader& input, Progress& progress);
// "FILE:LINE[:COLUMN]: message" for each, on standard error.
void printErrors(const std::string& file, const std::vector<InputError>& errors);

class EntryStream {
 public:
  // Starts reading `input` (which must outlive the stream).
  explicit EntryStream(LineReader& input);
  ~EntryStream();
  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;

  // The next valid entry; null after the last one or at the first bad line, whose problems
  // errors() then holds. Rethrows what reading raised (InputFileError).
  const InputEntry* next();
  const std::vector<InputError>& errors() const noexcept { return errors_; }
  // Bytes of the input up to the entry next() returned last.
  std::uint64_t bytesRead() const noexcept { return bytes_; }

 private:
  struct Batch {
    std::vector<InputEntry> entries;
    std::uint64_t bytes = 0;  // of the input up to the batch's last line
  };
  static constexpr std::size_t kBatch = 1024, kAhead = 8;
  void read();

  LineReader& input_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> full_;
  std::vector<Batch> free_;
  bool done_ = false, stop_ = false;
  std::exception_ptr failure_;
  std::vector<InputError> errors_;  // written by the reader before done_, read after

  Batch current_;
  std::size_t index_ = 0;
  std::uint64_t bytes_ = 0;
  std::thread reader_;
};

}  // namespace Utilsim
