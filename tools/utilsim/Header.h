// The header of every document and state utilsim writes: its format, what wrote it, what
// changes the results of the run it records, and the filters it was written with. A stored
// run is then never taken for something it is not (a part of a run for a whole one, a run of
// one chip or mask for another).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace Utilsim {
class JsonWriter;
struct ReplayConfig;
struct RowFilter;

struct RunHeader {
  static constexpr const char* kFormat = "utilsim-run";
  static constexpr unsigned kVersion = 2;  // 1: the documents before headers
  unsigned version = kVersion;
  // What wrote it: for people, never a difference between runs.
  std::string utilsimVersion, pluginBuildId;
  // What changes the results.
  std::string chip, fapMask, dispatch;
  std::uint64_t dropCommand = 0;  // 0: none
  struct LoadedState {
    std::string file;  // the name without its folders
    std::string sha256;
    bool operator==(const LoadedState& o) const noexcept { return sha256 == o.sha256; }
  };
  std::optional<LoadedState> loadedState;
  // The filters, as given; all empty when the document shows the whole run.
  std::vector<std::string> tables;
  std::string faps, instances;
  bool changed = false;
  // Decoded members (`--decode`) are derived: not results, but a reader writes them alike.
  bool decoded = false;

  bool filtered() const noexcept {
    return !tables.empty() || !faps.empty() || !instances.empty() || changed;
  }
  // The filters as options ("--table X --fap 1").
  std::string filterOptions() const;
};

// The header of this build's run with these settings and filters.
RunHeader runHeader(const ReplayConfig& config, const RowFilter& filter,
                    const std::string& pluginPath,
                    const std::optional<RunHeader::LoadedState>& loaded);
void headerJson(JsonWriter& w, const RunHeader& h);

// The `header` member of a stored run. A problem is a message naming its place
// ("/header/run/chip: ..."); a version newer than this utilsim reads is one too.
std::optional<RunHeader> readHeader(const nlohmann::ordered_json& header, std::string& problem);

// The options that change results where the stored run and this one differ, as
// "--chip bcm88890_a0 (this run: bcm88890_b0)"; empty when they agree.
std::vector<std::string> optionDifferences(const RunHeader& stored, const RunHeader& run);

// Ids as ranges ("0-3,7"), of a set indexed by id; "none" for an empty set.
std::string rangesText(const std::vector<bool>& ids);

// The GNU build id of an ELF file in hexadecimal; empty when it has none.
std::string buildId(const std::string& path);

}  // namespace Utilsim
