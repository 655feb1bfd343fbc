// What a replay shows: the JSON document, the readable report, the routing chains, and the
// comparison of a document with a stored one.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/utilsim/Replay.h"

namespace Utilsim {

struct ReportOptions {
  bool chains = false;  // add the routing chains
  bool timing = false;  // add per-Util latencies of processSwEntry
};

// The run as one JSON document (docs/utilsim.md gives its shape).
nlohmann::ordered_json toJson(const Replay& replay, const ReportOptions& options);

// The run as text for people.
std::string textReport(const Replay& replay, const ReportOptions& options);

// VSI -> routing profile -> enable vector -> in-LIF settings, per shadow copy, for every VSI
// that the log set and did not delete afterwards.
std::string chainsText(const Replay& replay);

// Differences of actual from expected, one line each ("/path: expected X, got Y"), at most
// max lines plus a line telling how many more there were. Empty when equal.
std::vector<std::string> jsonDiff(const nlohmann::json& expected, const nlohmann::json& actual,
                                  std::size_t max = 50);

// Latency summary of one Util.
struct LatencySummary {
  std::size_t count = 0;
  std::int64_t median = 0, p99 = 0, max = 0;  // nanoseconds
};
LatencySummary summarize(std::vector<std::int64_t> samples);

// Chip revision name for a chip type and revision number ("bcm88890_a0", "chip7").
std::string revisionName(Hardware::Tern::FapRevision revision);

}  // namespace Utilsim
