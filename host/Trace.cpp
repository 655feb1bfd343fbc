#include "host/Trace.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

namespace Qel {
// Live handles and the level rules that apply to them (and to handles created later).
struct TraceRegistry {
  std::mutex mutex;
  TraceHandle* head = nullptr;
  std::map<std::string, std::uint32_t> rules;  // "*" for every other handle
  bool capturing = false;
  std::vector<std::string> lines;
  TraceConfig::Sink sink = nullptr;
  void* sinkContext = nullptr;

  static TraceRegistry& get() {
    static auto* r = new TraceRegistry;  // outlives handles destroyed at exit or unload
    return *r;
  }
  std::uint32_t maskFor(const char* name) const {
    if (auto it = rules.find(name); it != rules.end()) return it->second;
    if (auto it = rules.find("*"); it != rules.end()) return it->second;
    return 0;
  }
  // Sets every live handle's levels and the union of them all afresh.
  void apply() {
    TraceHandle::anyLevels_.store(0, std::memory_order_relaxed);
    for (auto* h = head; h; h = h->next_) h->levelsIs(maskFor(h->name_));
  }
  std::set<std::string> names() const {
    std::set<std::string> all;
    for (auto* h = head; h; h = h->next_) all.insert(h->name_);
    return all;
  }
};

std::atomic<std::uint32_t> TraceHandle::anyLevels_{0};

TraceHandle::TraceHandle(const char* name, bool) : name_(name) {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  levelsIs(r.maskFor(name));
  next_ = r.head;
  if (r.head) r.head->prev_ = this;
  r.head = this;
}

TraceHandle::~TraceHandle() {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  if (prev_)
    prev_->next_ = next_;
  else
    r.head = next_;
  if (next_) next_->prev_ = prev_;
}

namespace {
std::uint32_t parseLevels(const std::string& text) {
  std::uint32_t mask = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const auto comma = text.find(',', pos);
    const auto item =
        text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos ||
        item.size() > 2 || std::stoul(item) > 31)
      throw std::invalid_argument("bad trace level '" + item + "' (levels are 0 to 31)");
    mask |= 1u << std::stoul(item);
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return mask;
}
}  // namespace

void TraceConfig::enable(const std::string& spec) {
  std::map<std::string, std::uint32_t> rules;
  if (spec.find('=') == std::string::npos) {
    rules["*"] = parseLevels(spec);
  } else {
    std::size_t pos = 0;
    while (pos < spec.size()) {
      const auto semi = spec.find(';', pos);
      const auto item =
          spec.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos);
      const auto eq = item.find('=');
      if (eq == std::string::npos || eq == 0)
        throw std::invalid_argument("bad trace rule '" + item + "' (expected Name=levels)");
      rules[item.substr(0, eq)] = parseLevels(item.substr(eq + 1));
      if (semi == std::string::npos) break;
      pos = semi + 1;
    }
  }
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  r.rules = std::move(rules);
  r.apply();
}

void TraceConfig::disableAll() {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  r.rules.clear();
  r.apply();
}

std::vector<std::string> TraceConfig::handleNames() {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  const auto names = r.names();
  return {names.begin(), names.end()};
}

void TraceConfig::sinkIs(Sink sink, void* context) {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  r.sink = sink;
  r.sinkContext = context;
}

void TraceConfig::captureBegin() {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  r.capturing = true;
  r.lines.clear();
}

std::vector<std::string> TraceConfig::captureEnd() {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  r.capturing = false;
  return std::move(r.lines);
}

const std::vector<std::string>& TraceConfig::captured() { return TraceRegistry::get().lines; }

namespace {
// One line per trace: time, level, handle, file:line, function, [context], text.
void emit(const TraceHandle& h, FacilityLevel level, const char* context, const char* file,
          const char* function, int line, fmt::string_view text) {
  auto& r = TraceRegistry::get();
  std::lock_guard g(r.mutex);
  if (r.capturing) {
    r.lines.push_back(fmt::format("L{} {} {}:{} {} [{}] {}", level, h.name(), file, line, function,
                                  context, text));
    return;
  }
  const auto now = std::chrono::system_clock::now();
  const auto t = std::chrono::system_clock::to_time_t(now);
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() %
      1000000;
  std::tm tm{};
  gmtime_r(&t, &tm);
  fmt::memory_buffer out;
  fmt::format_to(std::back_inserter(out), "{:02}:{:02}:{:02}.{:06} L{} {} {}:{} {} [{}] {}\n",
                 tm.tm_hour, tm.tm_min, tm.tm_sec, us, level, h.name(), file, line, function,
                 context, text);
  if (r.sink)
    r.sink(r.sinkContext, std::string_view(out.data(), out.size() - 1));
  else
    std::fwrite(out.data(), 1, out.size(), stderr);
}
}  // namespace

TraceHelper::~TraceHelper() { emit(handle_, level_, "", file_, function_, line_, stream_.text()); }
}  // namespace Qel

namespace Pavo::Impl {
void vfmtrace(const Qel::TraceHandle& handle, Qel::FacilityLevel level, const char* context,
              const char* file, const char* function, int line, fmt::string_view format,
              fmt::format_args args) {
  const auto text = fmt::vformat(format, args);
  Qel::emit(handle, level, context, file, function, line, text);
}
}  // namespace Pavo::Impl
