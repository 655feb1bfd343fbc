// Allocation tracking: a per-type record of live objects, by which the host and its tests see
// what a plug-in has made and not yet given back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Qel {
// Per-type record of live allocations. Types register on construction of their tracker
// and leave the registry when it is destroyed (plug-in unload).
class AllocTrackTypeInfo {
 public:
  explicit AllocTrackTypeInfo(const char* typeName);
  ~AllocTrackTypeInfo();
  AllocTrackTypeInfo(const AllocTrackTypeInfo&) = delete;
  AllocTrackTypeInfo& operator=(const AllocTrackTypeInfo&) = delete;

  static void _trackAllocation(AllocTrackTypeInfo& info, std::size_t bytes) noexcept;
  static void trackDeallocation(AllocTrackTypeInfo& info, std::size_t bytes) noexcept;

  const char* typeName() const noexcept { return name_; }
  long live() const noexcept { return live_; }
  std::uint64_t allocations() const noexcept { return total_; }

  struct Live {
    std::string typeName;
    long count;
  };
  // Every registered type with at least one live object.
  static std::vector<Live> liveObjects();
  static long liveCount(const std::string& typeName);

 private:
  const char* name_;
  long live_ = 0;
  std::uint64_t total_ = 0;
};
}  // namespace Qel
