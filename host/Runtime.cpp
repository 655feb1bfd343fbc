#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "host/Diag.h"
#include "host/Pavo.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TERN_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TERN_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TERN_POISON(p, n) ((void)(p), (void)(n))
#define TERN_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace Kelp {
namespace Detail {
constinit Slab gSlab;
}
namespace {
using namespace Detail;
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

void* Detail::slabAllocSlow(std::size_t bytes) {
  auto& s = gSlab;
  const std::size_t c = classOf(bytes);
  if (c >= kClasses) {
    ++s.heapRefills;
    return ::operator new(bytes);
  }
  if (!s.free[c]) {
    ++s.heapRefills;
    const std::size_t size = (c + 1) * kGranule;
    auto* chunk = static_cast<char*>(::operator new(kChunk));
    for (std::size_t off = 0; off + size <= kChunk; off += size) {
      auto* b = reinterpret_cast<FreeBlock*>(chunk + off);
      b->next = s.free[c];
      s.free[c] = b;
    }
    TERN_POISON(chunk, kChunk);
  }
  FreeBlock* b = s.free[c];
  TERN_UNPOISON(b, (c + 1) * kGranule);
  s.free[c] = b->next;
  return b;
}

void Detail::slabFreeSlow(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  const std::size_t c = classOf(bytes);
  if (c >= kClasses) {
    ::operator delete(p);
    return;
  }
  auto& s = gSlab;
  auto* b = static_cast<FreeBlock*>(p);
  b->next = s.free[c];
  s.free[c] = b;
  TERN_POISON(reinterpret_cast<char*>(b) + sizeof(FreeBlock),
              (c + 1) * kGranule - sizeof(FreeBlock));
}

std::uint64_t slabHeapRefills() noexcept { return gSlab.heapRefills; }
}  // namespace Kelp

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

Pavo::String _fmt(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  Pavo::String out(n > 0 ? std::size_t(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), std::size_t(n) + 1, format, ap2);
  va_end(ap2);
  return out;
}

void SassertHelper::report(const char* text, const char* file, int line,
                           const char* function) const noexcept {
  std::fprintf(stderr, "assertion (%s) failed: %s at %s:%d in %s\n", expression_, text, file, line,
               function);
}

namespace {
std::atomic<long> gLogHandles{0};
}
LogHandle::LogHandle(const LogDescriptor* descriptor, Pavo::Duration minInterval, double rate,
                     int burst, int flags, bool enabled) noexcept
    : descriptor_(descriptor),
      minInterval_(minInterval),
      rate_(rate),
      burst_(burst),
      flags_(flags),
      enabled_(enabled) {
  ++gLogHandles;
}
LogHandle::~LogHandle() { --gLogHandles; }
long liveLogHandles() noexcept { return gLogHandles.load(); }
}  // namespace Qel

namespace Asic {
std::int32_t mode = 0;

OrderedTableException::OrderedTableException(Pavo::String message, Pavo::String cause)
    : message_(std::move(message)) {
  text_ = cause.empty() ? message_ : message_ + ": " + cause;
}

void throwOrderedTableException(const Pavo::String& message, const char* what) {
  throw OrderedTableException(message, what ? what : "");
}
void throwOrderedTableExceptionUnknown(const Pavo::String& message) {
  throw OrderedTableException(message, "unknown exception");
}
}  // namespace Asic

namespace Pavo {
std::atomic<bool> ThreadControl::tsp_{false};

void Node::lastUserGone() { delete this; }
const void* Node::publisher() const { return nullptr; }

void Node::decUseImpl() const {
  std::uint32_t left;
  if (ThreadControl::tsp_.load(std::memory_order_relaxed)) {
    left = std::atomic_ref<std::uint32_t>(refs_).fetch_sub(1, std::memory_order_acq_rel) - 1;
  } else {
    left = --refs_;
  }
  if (left == 0) const_cast<Node*>(this)->lastUserGone();
}

void RangeException::throwException(const char* text) { throw RangeException(text); }

namespace {
std::vector<const ModuleInspectData*>& modules() {
  static auto* v = new std::vector<const ModuleInspectData*>;
  return *v;
}
}  // namespace

ModuleInspectData::~ModuleInspectData() {
  auto& v = modules();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}
void ModuleInspectData::loaded() {
  if (loaded_) return;
  loaded_ = true;
  modules().push_back(this);
}
const InspectableClass* ModuleInspectData::findClass(const String& className) {
  for (const auto* m : modules())
    for (const auto& c : m->classes())
      if (className == c.className) return &c;
  return nullptr;
}
std::vector<const ModuleInspectData*> ModuleInspectData::loadedModules() { return modules(); }

String Attribute::signature() const {
  String s = name;
  const std::size_t n = parameterCount();
  if (n == 0) return s;
  s += '(';
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ", ";
    s += parameters[i];
  }
  s += ')';
  return s;
}

int Inspect::opResEncRelNode(void* result, Node* node) {
  *static_cast<Ptr<Node>*>(result) = Ptr<Node>(node);
  return 0;
}
}  // namespace Pavo
