#include "tools/utilsim/EntryStream.h"

#include <fmt/format.h>

namespace Utilsim {

bool checkLine(const LineReader::Line& line, InputEntry& entry, std::vector<InputError>& errors) {
  if (!line.tooLong) return checkLine(line.text, line.number, entry, errors);
  errors.push_back(lineTooLong(line.number));
  return false;
}

unsigned checkInput(LineReader& input, std::vector<InputError>& errors,
                    const std::function<void(const InputEntry&)>& take) {
  LineReader::Line line;
  InputEntry entry;
  while (input.next(line)) {
    if (checkLine(line, entry, errors)) take(entry);
    if (errors.size() >= InputLimits::kMaxErrors) return line.number;
  }
  return 0;
}

bool checkLog(LineReader& input, Progress& progress) {
  if (!input.seekable()) return true;
  std::vector<InputError> errors;
  std::uint64_t lines = 0;
  const unsigned stoppedAt = checkInput(input, errors, [&](const InputEntry&) {
    progress.tick("checking", ++lines, input.bytesRead());
  });
  progress.done();
  if (errors.empty()) {
    input.rewind();
    return true;
  }
  printErrors(input.name(), errors);
  if (stoppedAt)
    fmt::print(stderr, "{}:{}: too many errors; the rest of the input was not checked\n",
               input.name(), stoppedAt);
  fmt::print(stderr, "utilsim: {} input error{}{}; nothing was replayed\n", errors.size(),
             errors.size() == 1 ? "" : "s",
             stoppedAt ? fmt::format(" (checking stopped at line {})", stoppedAt) : "");
  return false;
}

void printErrors(const std::string& file, const std::vector<InputError>& errors) {
  for (const auto& e : errors)
    if (e.column)
      fmt::print(stderr, "{}:{}:{}: {}\n", file, e.line, e.column, e.message);
    else
      fmt::print(stderr, "{}:{}: {}\n", file, e.line, e.message);
}

EntryStream::EntryStream(LineReader& input) : input_(input), reader_([this] { read(); }) {}

EntryStream::~EntryStream() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

void EntryStream::read() {
  Batch batch;
  std::vector<InputError> errors;
  const auto hand = [this](Batch& b) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || full_.size() < kAhead; });
    if (stop_) return false;
    full_.push_back(std::move(b));
    b = Batch{};
    if (!free_.empty()) {
      b = std::move(free_.back());
      free_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
    return true;
  };
  try {
    LineReader::Line line;
    InputEntry entry;
    batch.entries.reserve(kBatch);
    while (input_.next(line)) {
      if (checkLine(line, entry, errors)) batch.entries.push_back(entry);
      batch.bytes = input_.bytesRead();
      if (!errors.empty()) break;
      if (batch.entries.size() == kBatch && !hand(batch)) return;
    }
    if (!batch.entries.empty() && !hand(batch)) return;
  } catch (...) {
    const std::lock_guard lock(mutex_);
    failure_ = std::current_exception();
  }
  {
    const std::lock_guard lock(mutex_);
    errors_ = std::move(errors);
    done_ = true;
  }
  changed_.notify_all();
}

const InputEntry* EntryStream::next() {
  if (index_ < current_.entries.size()) return &current_.entries[index_++];
  std::unique_lock lock(mutex_);
  if (!current_.entries.empty()) {  // back to the reader, to be filled again
    current_.entries.clear();
    free_.push_back(std::move(current_));
  }
  changed_.wait(lock, [this] { return !full_.empty() || done_; });
  if (full_.empty()) {
    if (failure_) std::rethrow_exception(failure_);
    return nullptr;
  }
  current_ = std::move(full_.front());
  full_.pop_front();
  lock.unlock();
  changed_.notify_all();
  index_ = 0;
  bytes_ = current_.bytes;
  return &current_.entries[index_++];
}

}  // namespace Utilsim
