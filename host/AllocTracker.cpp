#include "host/AllocTracker.h"

#include <algorithm>
#include <mutex>

namespace Qel {
namespace {
std::mutex& trackMutex() {
  static std::mutex m;
  return m;
}
std::vector<AllocTrackTypeInfo*>& trackers() {
  static auto* v = new std::vector<AllocTrackTypeInfo*>;
  return *v;
}
}  // namespace

AllocTrackTypeInfo::AllocTrackTypeInfo(const char* typeName) : name_(typeName) {
  std::lock_guard g(trackMutex());
  trackers().push_back(this);
}
AllocTrackTypeInfo::~AllocTrackTypeInfo() {
  std::lock_guard g(trackMutex());
  auto& v = trackers();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}
void AllocTrackTypeInfo::_trackAllocation(AllocTrackTypeInfo& info, std::size_t) noexcept {
  ++info.live_;
  ++info.total_;
}
void AllocTrackTypeInfo::trackDeallocation(AllocTrackTypeInfo& info, std::size_t) noexcept {
  --info.live_;
}
std::vector<AllocTrackTypeInfo::Live> AllocTrackTypeInfo::liveObjects() {
  std::lock_guard g(trackMutex());
  std::vector<Live> out;
  for (auto* t : trackers())
    if (t->live_ != 0) out.push_back({t->name_, t->live_});
  return out;
}
long AllocTrackTypeInfo::liveCount(const std::string& typeName) {
  std::lock_guard g(trackMutex());
  long n = 0;
  for (auto* t : trackers())
    if (typeName == t->name_) n += t->live_;
  return n;
}
}  // namespace Qel
