// Reading the files utilsim is given, with messages a user can act on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Utilsim {

// A file that cannot be read or is not what it should be (exit status 2).
struct InputFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// An input error already reported on standard error (exit status 2, nothing more to say).
struct ReportedError : InputFileError {
  using InputFileError::InputFileError;
};
// A file that could be read but is not valid JSON ("FILE: not valid JSON: WHY (at byte N)").
struct JsonSyntaxError : InputFileError {
  using InputFileError::InputFileError;
};

// A file given to read ("-": standard input, which stays open), refused when it cannot be
// opened or is a directory. Throws InputFileError naming it as `shown`.
struct InputFile {
  std::FILE* file;
  bool owned;
  std::int64_t size;  // of a regular file; -1 otherwise
};
InputFile openInput(const std::string& path, const std::string& shown);

// A log read line by line in chunks, so that a file or standard input of any size streams
// through a buffer of fixed size.
class LineReader {
 public:
  struct Line {
    std::string_view text;  // without its line end ('\n', and a '\r' before it)
    unsigned number = 0;    // 1-based
    bool tooLong = false;   // longer than InputLimits::kMaxLineBytes; text is cut short
  };

  // Opens the file; "-" is standard input. Throws InputFileError.
  explicit LineReader(const std::string& path);
  // Reads an open stream (its own from now on) that messages call `name`.
  LineReader(std::FILE* stream, std::string name);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line that is neither blank nor a comment ('#' first after blanks); false at
  // the end. Throws InputFileError on a read error.
  bool next(Line& line);
  // Back to the first line, for a second pass; only when seekable().
  void rewind();

  const std::string& name() const noexcept { return name_; }
  // A regular file: its size is known and it can be read twice.
  bool seekable() const noexcept { return size_ >= 0; }
  std::int64_t size() const noexcept { return size_; }
  std::uint64_t bytesRead() const noexcept { return consumed_; }
  // Lines read so far (blank lines and comments too).
  unsigned lines() const noexcept { return number_; }

 private:
  bool fill();  // reads more; false at the end of the input

  std::string name_;
  std::FILE* file_;
  bool owned_;
  std::int64_t size_ = -1;
  std::vector<char> buf_;
  std::size_t start_ = 0, end_ = 0;
  std::uint64_t consumed_ = 0;  // bytes of the lines handed out or skipped
  unsigned number_ = 0;
  bool eof_ = false;
};

}  // namespace Utilsim
