#include "tools/utilsim/SafeFile.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tools/utilsim/Input.h"

namespace Utilsim {
namespace {
// The temporary files in the making, where a signal handler can reach them: fixed storage,
// since a handler may not allocate.
constexpr int kSlots = 4;
char gTemp[kSlots][PATH_MAX];
volatile std::sig_atomic_t gUsed[kSlots];

// A run stopped by one of these leaves no temporary file behind. The signal is then raised
// again with its default action, so that whoever started utilsim sees how it ended.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removeTemporaries(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (gUsed[i]) unlink(gTemp[i]);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void installCleanup() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int sig : kCleanupSignals) {
    struct sigaction old {};
    // A signal the caller ignores (nohup, a shell's background job) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction act {};
    act.sa_handler = removeTemporaries;
    sigemptyset(&act.sa_mask);
    sigaction(sig, &act, nullptr);
  }
}

int claimSlot(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i)
    if (!gUsed[i]) {
      std::memcpy(gTemp[i], path.c_str(), path.size() + 1);
      gUsed[i] = 1;
      return i;
    }
  return -1;
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string realPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  std::free(real);
  return out;
}

// The file a write to `path` lands in: links followed, also a link to a file not made yet.
// Empty (errno set) when the folder it would be in does not exist.
std::string resolveTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    if (auto real = realPath(path); !real.empty()) return real;
    if (errno != ENOENT) return {};
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      const auto [dir, base] = splitPath(path);
      const auto folder = realPath(dir);
      if (folder.empty()) return {};
      return (folder == "/" ? "" : folder) + "/" + base;
    }
    char link[PATH_MAX];
    const auto n = readlink(path.c_str(), link, sizeof link - 1);
    if (n < 0) return {};
    const std::string to(link, std::size_t(n));
    path = to[0] == '/' ? to : splitPath(path).first + "/" + to;
  }
  errno = ELOOP;
  return {};
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}
}  // namespace

std::optional<FileId> fileIdOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino, S_ISREG(st.st_mode), S_ISCHR(st.st_mode)};
}

std::optional<FileId> fileIdOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino, S_ISREG(st.st_mode), S_ISCHR(st.st_mode)};
}

SafeOutput::SafeOutput(const std::string& path, const char* what)
    : shown_(printable(path, 200)), what_(what) {
  errno = 0;
  const auto existing = fileIdOf(path);
  if (existing && !existing->regular) {
    // A FIFO, a device or a pipe handed over as /dev/fd/N: written as it is, never replaced.
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || !(file_ = fdopen(fd, "wb"))) {
      const int e = errno;
      if (fd >= 0) close(fd);
      fail(e);
    }
    return;
  }
  target_ = resolveTarget(path);
  if (target_.empty()) fail(errno ? errno : ENOENT);
  const auto [dir, base] = splitPath(target_);
  temp_ = (dir == "/" ? "" : dir) + "/." + base + ".XXXXXX";
  installCleanup();
  const int fd = mkstemp(temp_.data());
  if (fd < 0) {
    const int e = errno;
    temp_.clear();
    fail(e);
  }
  slot_ = claimSlot(temp_);
  if (fchmod(fd, newFileMode()) != 0 || !(file_ = fdopen(fd, "wb"))) {
    const int e = errno;
    if (!file_) close(fd);
    fail(e);
  }
}

SafeOutput::~SafeOutput() {
  if (file_) std::fclose(file_);
  if (!temp_.empty()) unlink(temp_.c_str());
  if (slot_ >= 0) gUsed[slot_] = 0;
}

void SafeOutput::fail(int error) const {
  throw std::runtime_error(
      fmt::format("cannot write the {} {}: {}", what_, shown_, std::strerror(error)));
}

void SafeOutput::commit() {
  errno = 0;
  const bool flushed = std::fflush(file_) == 0 && (target_.empty() || fsync(fileno(file_)) == 0);
  const int e = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) fail(flushed ? errno : e);
  if (target_.empty()) return;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
  temp_.clear();
  if (slot_ >= 0) gUsed[slot_] = 0;
  slot_ = -1;
  // The rename itself reaches the disk with its folder.
  if (const int dir = open(splitPath(target_).first.c_str(), O_RDONLY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace Utilsim
