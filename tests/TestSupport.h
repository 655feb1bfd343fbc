// Shared test helpers: a host with the plug-in started, Utils built per chip revision, the
// host's log-entry builders, and reads of shadow rows and commands through its row view.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/Diag.h"
#include "host/Host.h"
#include "host/LogEntryBuilders.h"
#include "host/Trace.h"

namespace TestSupport {
namespace Log = ::Host::Log;
using Log::LogPtr;

inline constexpr Hardware::ChipType kChips[] = {Hardware::kChipBcm88890A0,
                                                Hardware::kChipBcm88890B0};
const char* chipName(Hardware::ChipType chip);  // "bcm88890_a0" / "bcm88890_b0"

// Registrations of the linked-in plug-in with the default supported revisions (started once
// per process).
const TernAsicUtils::UtilHolderContext& context();

// A table manager with every Util of one chip revision, fap mask as given.
class Rig {
 public:
  explicit Rig(Hardware::ChipType chip, std::initializer_list<unsigned> fapIds = {0});
  ~Rig();
  Pavo::Ptr<TernAsicUtils::UtilBase> util(const std::string& shortName) const;
  const std::vector<::Host::UtilInstance>& utils() const { return utils_; }
  const Pavo::Ptr<TernAsicUtils::TableManager>& tableManager() const { return tm_; }
  // The table object named (without namespace), or null.
  TernAsicUtils::HwCommonTableBase* table(const std::string& name) const;
  // Present rows of every table: "Table {key} {entry}" per row, for whole-state comparison.
  std::vector<std::string> shadowDump() const;
  // Counters of a Util as {add, delete, updateOnDel, fapmaskMismatch}.
  std::vector<std::uint64_t> counters(const std::string& shortName) const;
  std::uint64_t enqueueCount(Asic::SwTableId id, unsigned fapId, unsigned instanceId) const;

 private:
  Hardware::ChipType chip_;
  Pavo::Ptr<TernAsicUtils::TableManager> tm_;
  std::vector<::Host::UtilInstance> utils_;
};

// Decoded fields of one shadow row (absent row: empty map). Array fields are listed under
// "name[i]".
std::map<std::string, std::uint32_t> row(const TernAsicUtils::HwCommonTableBase& table,
                                         unsigned fapId, unsigned instanceId, unsigned rowIndex);
// "Table {key} {entry}" for a row as the shadow holds it (an absent row reads as its reset
// value): what shadowDump lists.
std::string shadowRowText(const TernAsicUtils::HwCommonTableBase& table, unsigned fapId,
                          unsigned instanceId, unsigned rowIndex);
// what() of the Asic::OrderedTableException that fn raises; a test failure (and "") when it
// raises nothing or something else.
std::string orderedTableError(const std::function<void()>& fn);

// Names the cases of a test parameterised by chip revision.
struct ParamName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return chipName(info.param);
  }
};

// Captures trace lines at the given levels while alive.
class TraceCapture {
 public:
  explicit TraceCapture(const std::string& levels = "2,3,8");
  ~TraceCapture();
  const std::vector<std::string>& lines() const { return Qel::TraceConfig::captured(); }
  bool contains(const std::string& text) const;
};
}  // namespace TestSupport
