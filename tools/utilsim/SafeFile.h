// Files utilsim writes for the user. Such a file is never one of the run's inputs, and a
// regular file is replaced whole or not at all: it is written to a temporary file beside it
// and renamed over it once complete, so that a failed, stopped or interrupted run leaves the
// previous file as it was.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>

namespace Utilsim {

// A file by device and inode: two paths (or a path and an open descriptor) name the same
// file however they are spelt.
struct FileId {
  dev_t device;
  ino_t inode;
  bool regular;  // a regular file (not a device, FIFO or socket)
  bool characterDevice;
  bool operator==(const FileId& o) const noexcept { return device == o.device && inode == o.inode; }
};
std::optional<FileId> fileIdOf(const std::string& path);  // follows links; none if absent
std::optional<FileId> fileIdOf(int fd);

// The output file of one run. Opening it is the check that it can be written, made before
// the work that fills it. Throws std::runtime_error ("cannot write the WHAT PATH: why").
class SafeOutput {
 public:
  SafeOutput(const std::string& path, const char* what);
  // Not committed: the temporary file is removed; the target is untouched.
  ~SafeOutput();
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  std::FILE* file() const noexcept { return file_; }
  // Flushes the file to disk and puts it in place of the target. Throws as the constructor.
  void commit();
  // Throws the error of a write to the file.
  [[noreturn]] void fail(int error) const;

 private:
  std::string shown_;  // the path as the user gave it, for messages
  const char* what_;
  std::string target_;  // a regular target's resolved path; empty when written directly
  std::string temp_;
  std::FILE* file_ = nullptr;
  int slot_ = -1;  // where the signal handler finds the temporary file's name
};

}  // namespace Utilsim
