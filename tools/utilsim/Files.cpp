#include "tools/utilsim/Files.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tools/utilsim/Input.h"

namespace Utilsim {
namespace {
constexpr std::size_t kChunk = std::size_t(1) << 20;
// Room for the longest line a log may have, its line end, and one chunk read after it.
constexpr std::size_t kBuffer = InputLimits::kMaxLineBytes + 2 + kChunk;
}  // namespace

InputFile openInput(const std::string& path, const std::string& shown) {
  InputFile in{stdin, false, -1};
  if (path != "-") {
    errno = 0;
    in.file = std::fopen(path.c_str(), "rb");
    if (!in.file)
      throw InputFileError(fmt::format("cannot open {}: {}", shown, std::strerror(errno)));
    in.owned = true;
  }
  struct stat st {};
  if (fstat(fileno(in.file), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      if (in.owned) std::fclose(in.file);
      throw InputFileError(fmt::format("{}: is a directory", shown));
    }
    if (S_ISREG(st.st_mode)) in.size = std::int64_t(st.st_size);
  }
  return in;
}

LineReader::LineReader(const std::string& path)
    : name_(path == "-" ? "<stdin>" : printable(path, 200)), buf_(kBuffer) {
  const auto in = openInput(path, name_);
  file_ = in.file;
  owned_ = in.owned;
  size_ = in.size;
}

LineReader::LineReader(std::FILE* stream, std::string name)
    : name_(std::move(name)), file_(stream), owned_(true), buf_(kBuffer) {}

LineReader::~LineReader() {
  if (owned_) std::fclose(file_);
}

void LineReader::rewind() {
  if (std::fseek(file_, 0, SEEK_SET) != 0)
    throw InputFileError(
        fmt::format("{}: cannot read it a second time: {}", name_, std::strerror(errno)));
  start_ = end_ = 0;
  consumed_ = 0;
  number_ = 0;
  eof_ = false;
}

bool LineReader::fill() {
  if (eof_) return false;
  if (start_ > 0) {  // keep the line begun so far at the front
    std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  const std::size_t n =
      std::fread(buf_.data() + end_, 1, std::min(kChunk, buf_.size() - end_), file_);
  if (n == 0) {
    if (std::ferror(file_))
      throw InputFileError(fmt::format("{}: read error: {}", name_, std::strerror(errno)));
    eof_ = true;
    return false;
  }
  end_ += n;
  return true;
}

bool LineReader::next(Line& line) {
  while (true) {
    // Find the end of the next line, reading more while the buffer does not hold it.
    const char* nl = nullptr;
    bool tooLong = false;
    std::size_t scanned = 0;  // bytes after start_ known to hold no line end
    while (true) {
      nl = static_cast<const char*>(
          std::memchr(buf_.data() + start_ + scanned, '\n', end_ - start_ - scanned));
      if (nl) break;
      scanned = end_ - start_;
      if (scanned > InputLimits::kMaxLineBytes + 1) {
        // Hopelessly long: drop what is buffered and skip to the line end.
        tooLong = true;
        consumed_ += scanned;
        start_ = end_;
        scanned = 0;
      }
      if (!fill()) break;
    }
    const std::size_t stop = nl ? std::size_t(nl - buf_.data()) : end_;
    if (!nl && stop == start_ && !tooLong) return false;  // nothing after the last line end
    std::string_view text(buf_.data() + start_, stop - start_);
    consumed_ += text.size() + (nl ? 1 : 0);
    start_ = nl ? stop + 1 : stop;
    ++number_;
    if (tooLong) {
      line = {text, number_, true};
      return true;
    }
    if (number_ == 1 && text.substr(0, 3) == "\xef\xbb\xbf") text.remove_prefix(3);  // a BOM
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const auto first = text.find_first_not_of(" \t");
    // A comment holding a NUL byte is not text: it goes to the checker, which refuses it.
    if (first == std::string_view::npos ||
        (text[first] == '#' && text.find('\0') == std::string_view::npos))
      continue;
    line = {text, number_, false};
    return true;
  }
}

}  // namespace Utilsim
