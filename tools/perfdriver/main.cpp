// perfdriver: replays the fixed workload of tools/perfdriver/Workload.h through every
// bcm88890_a0 Util and prints, per workload, the entries handed over and the median CPU
// time per entry. Under callgrind it zeroes the counters before each workload and dumps them
// after it (named after the workload), so that the dumps hold exactly the instructions of
// the measured entries; scripts read them as instructions per entry.
//
// usage: perfdriver [--reps N] [--scale N] [--only WORKLOAD] [--tables]
//
// --only runs one workload: an instruction counter that cannot be told where a workload
// starts (an emulator's) takes the difference of two runs at --scale 1 and 2, which is the
// instructions of 4096 entries (1024 for the routing-state entry through all routing-state
// Utils, times 16). Each report line ends with the number of Utils each entry of the
// workload goes to.
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/perfdriver/Workload.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define TERN_CALLGRIND 1
#else
#define TERN_CALLGRIND 0
#endif

namespace {
bool underValgrind() {
#if TERN_CALLGRIND
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
}

void countersZero() {
#if TERN_CALLGRIND
  CALLGRIND_ZERO_STATS;
#endif
}

void countersDump(const std::string& name) {
#if TERN_CALLGRIND
  CALLGRIND_DUMP_STATS_AT(name.c_str());
#else
  (void)name;
#endif
}

struct Workload {
  std::string name;
  std::vector<TernAsicUtils::UtilBase*> utils;  // each entry goes to all of them
  std::vector<PerfWorkload::LogPtr> entries;
  unsigned passes;  // per measurement
};

std::size_t sink = 0;

// CPU time of this thread: on a shared machine wall time would also count the time other
// processes held the core.
double cpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

std::size_t run(const Workload& w) {
  std::size_t n = 0;
  for (unsigned p = 0; p < w.passes; ++p) n += PerfWorkload::runAll(w.utils, w.entries);
  return n;
}

[[noreturn]] void usage() {
  std::fputs("usage: perfdriver [--reps N] [--scale N] [--only WORKLOAD] [--tables]\n", stderr);
  std::exit(2);
}
}  // namespace

int main(int argc, char** argv) {
  unsigned reps = 5, scale = 1;
  bool tables = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
      continue;
    }
    if ((a == "--reps" || a == "--scale") && i + 1 < argc) {
      const long v = std::strtol(argv[++i], nullptr, 10);
      if (v < 1 || v > 100000) usage();
      (a == "--reps" ? reps : scale) = unsigned(v);
    } else if (a == "--tables") {
      tables = true;
    } else {
      usage();
    }
  }
  const bool valgrind = underValgrind();
  if (valgrind) reps = 1;  // instruction counts do not vary between repetitions

  PerfWorkload::Rig rig;
  std::vector<Workload> workloads;
  for (const auto& name : PerfWorkload::utilNames()) {
    auto entries = PerfWorkload::entriesFor(name);
    const unsigned passes = unsigned(4096 / entries.size()) * scale;
    workloads.push_back({name, {rig.util(name)}, std::move(entries), passes});
  }
  workloads.push_back({"RoutingStateEntryAllUtils", rig.routingStateUtils(),
                       PerfWorkload::profileEntries(), 16 * scale});

  if (!only.empty()) {
    std::erase_if(workloads, [&](const Workload& w) { return w.name != only; });
    if (workloads.empty()) {
      std::fprintf(stderr, "perfdriver: no workload %s\n", only.c_str());
      return 2;
    }
  }
  for (const auto& w : workloads) {
    // One pass first: shadow copies, enqueue records and slab classes come into being.
    sink += PerfWorkload::runAll(w.utils, w.entries);
    std::vector<double> ns;
    for (unsigned r = 0; r < reps; ++r) {
      countersZero();
      const double t0 = cpuNs();
      sink += run(w);
      const double t1 = cpuNs();
      countersDump(w.name);
      ns.push_back(t1 - t0);
    }
    std::sort(ns.begin(), ns.end());
    const std::size_t entries = w.entries.size() * w.passes;
    const double perEntry = ns[ns.size() / 2] / double(entries);
    fmt::print("workload {} entries {} ns_per_entry {:.1f} entries_per_s {:.0f} utils {}\n", w.name,
               entries, perEntry, 1e9 / perEntry, w.utils.size());
  }
  if (tables) {
    std::size_t total = 0;
    for (const auto* t : rig.tableManager()->tables()) {
      fmt::print("table {} rows {} words_per_row {} bytes_per_copy {} held_bytes {}\n", t->name(),
                 t->info().rows, t->info().wordsPerRow, t->copyBytes(), t->shadowBytes());
      total += t->copyBytes();
    }
    fmt::print("tables total_bytes_per_copy {}\n", total);
  }
  if (valgrind) fmt::print("callgrind dumps written\n");
  return sink == 0 ? 1 : 0;
}
