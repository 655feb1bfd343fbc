// What a replay shows: the JSON document (whole or one line per entry), the readable report,
// the routing chains, and the comparison of a run with a stored document. Everything that
// concerns single entries is written or counted while the entry is current.
#pragma once

#include <fmt/format.h>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Header.h"
#include "tools/utilsim/JsonWriter.h"
#include "tools/utilsim/Replay.h"
#include "tools/utilsim/TraceTap.h"

namespace Utilsim {

// Which rows the report and the document show: some tables, some copies, only rows that
// differ from the reset value. Empty sets select everything.
struct RowFilter {
  std::vector<const TernAsicUtils::HwTableInfo*> tables;
  std::vector<bool> faps, instances;  // indexed by id; empty: every id
  bool changed = false;

  bool table(const TernAsicUtils::HwTableInfo& t) const noexcept;
  bool copy(unsigned fapId, unsigned instanceId) const noexcept;
  bool copy(TernAsicUtils::HwShadowKey key) const noexcept {
    return copy(key.fapId().value(), key.instanceId());
  }
  bool row(const TernAsicUtils::HwTableInfo& t, const std::uint32_t* words) const noexcept;
};

// Lines of the log (--lines), each range first..last; last 0: to the end of the log.
struct LineRange {
  unsigned first = 0, last = 0;
  bool has(unsigned line) const noexcept { return line >= first && (last == 0 || line <= last); }
};
using LineRanges = std::vector<LineRange>;

struct ReportOptions {
  bool timing = false;  // add per-Util latencies of processSwEntry
  // Failures listed one by one in the text report; the rest are counted.
  std::size_t failureCap = 100;
  RowFilter filter;
};

// Buffered output to a file; throws std::runtime_error when it cannot be written.
class Output {
 public:
  explicit Output(std::FILE* file) noexcept : file_(file) {}
  TextBuffer& buffer() noexcept { return buf_; }
  // Writes the buffer out once it holds enough to be worth a system call.
  void maybeFlush() {
    if (buf_.size() >= kChunk) flush();
  }
  void flush();

 private:
  static constexpr std::size_t kChunk = 1 << 16;
  std::FILE* file_;
  TextBuffer buf_;
};

// Writes the element of `entries` for one log entry: with its `line` or without (what
// `--expect` compares), with the entry as read (`--jsonl`) or without.
class EntryJson {
 public:
  explicit EntryJson(const Replay& replay) : replay_(replay) {}
  // Decoded (`--decode`): each command's fields by name beside its words, and the shadow rows
  // the entry changed, before and after (the replay must track the rows' values).
  void decodeIs(bool decode) noexcept { decode_ = decode; }
  void write(JsonWriter& w, const InputEntry& entry, std::span<const UtilResult> results,
             bool withLine, bool withInput);

 private:
  const Replay& replay_;
  bool decode_ = false;
  // Per Util, its answer to an entry it does not take, at the depth and indent below.
  std::vector<std::string> notApplicable_;
  unsigned depth_ = ~0u;
  int indent_ = 0;
};
// Streams the run as JSON while it replays: the document of `--json` (indented, `entries`
// written as they come), or with `--jsonl` one compact object per entry (with the entry as
// read) and a last object with the rest of the document.
class DocumentStream : public ReplaySink {
 public:
  enum class Format { Document, Lines };
  DocumentStream(Output& out, Format format, const Replay& replay, const ReportOptions& options,
                 const RunHeader& header);
  void begin();  // before the first entry
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override;
  // After Replay::finish. A partial run (stopped at the input error on line stoppedAt) says so.
  void end(std::uint64_t stoppedAt = 0);

 private:
  void headerMember(JsonWriter& w);
  Output& out_;
  Format format_;
  const Replay& replay_;
  ReportOptions options_;
  const RunHeader& header_;
  EntryJson entries_;
  JsonWriter doc_;
};

// The members of the document after `entries` and `complete`, into an object the caller
// opened (flushing `out` on the way, when given).
void summaryMembers(JsonWriter& w, Output* out, const Replay& replay, const ReportOptions& options);
// The same as one compact JSON object.
std::string summaryJson(const Replay& replay, const ReportOptions& options);

// The per-line view of the text report, written while the replay runs: each selected entry
// as read, each Util's answer (not applicable, its error, or its commands decoded to table,
// copy, key and fields), and the shadow rows the entry changed.
class LineView : public ReplaySink {
 public:
  // The lines of these ranges (all when there is none) of the copies the filter selects.
  // With `traces`, the trace lines of each entry shown go into its block, behind "FILE:LINE: "
  // (`file` names the log).
  LineView(Output& out, const Replay& replay, const RowFilter& filter, LineRanges lines,
           TraceTap* traces, std::string file) noexcept
      : out_(out),
        replay_(replay),
        filter_(filter),
        lines_(std::move(lines)),
        traces_(traces),
        file_(std::move(file)) {}
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override;

 private:
  Output& out_;
  const Replay& replay_;
  const RowFilter& filter_;
  LineRanges lines_;
  TraceTap* traces_;
  std::string file_;
  bool started_ = false;
  std::string text_;
};

// The failing (entry, Util) pairs of a run: the first `cap` in full, the rest counted.
class FailureList : public ReplaySink {
 public:
  struct Failure {
    unsigned line;
    std::string entry;  // the entry in a few words
    std::size_t util;
    std::string error;
  };
  explicit FailureList(std::size_t cap) noexcept : cap_(cap) {}
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override;
  const std::vector<Failure>& listed() const noexcept { return listed_; }
  std::uint64_t total() const noexcept { return total_; }

 private:
  std::size_t cap_;
  std::vector<Failure> listed_;
  std::uint64_t total_ = 0;
};

// The VSIs whose last entry set them, per shadow copy: the routing chains start from these.
// A delete takes one out; a table delete sets the VSI of its key (0 without one), as the
// Utils take it.
class LiveVsis : public ReplaySink {
 public:
  using CopyVsi = std::tuple<unsigned, unsigned, std::uint32_t>;  // fap id, instance id, VSI
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override;
  const std::set<CopyVsi>& all() const noexcept { return vsis_; }

 private:
  std::set<CopyVsi> vsis_;
};

// The run as text for people; with the routing chains of these VSIs when given.
std::string textReport(const Replay& replay, const ReportOptions& options,
                       const FailureList& failures, const LiveVsis* chains);

// The rows of the VSI maps that hold the VSI's routing profile (one per chain).
std::vector<std::pair<const TernAsicUtils::HwTableInfo*, unsigned>> vsiMapRows(std::uint32_t vsi);

// VSI -> routing profile -> enable vector -> in-LIF settings, per shadow copy, for every VSI
// that the log set and did not delete afterwards.
std::string chainsText(const Replay& replay, const LiveVsis& vsis, const RowFilter& filter);

// The entry in the log's own format, every default filled in (what `--jsonl` calls `entry`).
void inputJson(JsonWriter& w, const InputEntry& e);

// Rows as the report and the document show them (also used by `utilsim diff`).
std::string copyText(TernAsicUtils::HwShadowKey key);  // "fap 0 instance 1"
std::string keyText(const TernAsicUtils::HwTableInfo& info,
                    unsigned row);                // "array=0 entryIndex=1"
std::string fieldValueText(const EntryField& f);  // "7", "[1, 2, 0, 0]"
std::string fieldText(const EntryField& f);       // "mtuByteSize=1500"
// "name: A -> B" for each field whose values differ between two rows of one table, each
// preceded by `lead` (the first by `first`).
std::string fieldChanges(const std::vector<EntryField>& a, const std::vector<EntryField>& b,
                         std::string_view first, std::string_view lead);
std::string entryText(const TernAsicUtils::HwTableInfo& info, const std::uint32_t* words);
void keyJson(JsonWriter& w, const TernAsicUtils::HwTableInfo& info, unsigned row);
void fieldValueJson(JsonWriter& w, const std::uint32_t* values, unsigned count, bool list);
void entryFieldsJson(JsonWriter& w, const TernAsicUtils::HwTableInfo& info,
                     const std::uint32_t* words);

// Chip revision name for a chip type and revision number ("bcm88890_a0", "chip7").
std::string revisionName(Hardware::Tern::FapRevision revision);

// A count with its noun in agreement: "1 log entry", "2 log entries".
inline std::string counted(std::uint64_t n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

// The log entry in a few words ("routingState fap 0 instance 0 VSI 5 -> routing profile 2").
std::string entrySummary(const InputEntry& e);

}  // namespace Utilsim
