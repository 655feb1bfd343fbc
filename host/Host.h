// Host programs' side of the library: loading the plug-in shared object, starting its
// plug-ins, building Utils, and a model of the chip that executes S-channel commands.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/HwTable.h"
#include "host/PluginLoader.h"

namespace Host {
// A plug-in shared object loaded with dlopen. Unloading forgets the plug-ins it announced;
// every Util and table object it made must be gone by then.
class PluginLibrary {
 public:
  // Throws std::runtime_error with the loader's message.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  // The plug-ins this object announced, in load order.
  std::vector<Plugin::Impl::PluginRecord> plugins() const;

 private:
  void* handle_;
  std::size_t first_, end_;
};

// Runs every Util plug-in's init against the context (the agent's start-up).
void startUtilPlugins(TernAsicUtils::UtilHolderContext& context);

struct UtilInstance {
  TernAsicUtils::UtilKey key;
  Pavo::Ptr<TernAsicUtils::UtilBase> util;
  std::string shortName;  // class name without namespace
};

// Builds, in registration order, every Util registered for the chip type and puts the fap
// ids of the mask into each one's fap mask.
std::vector<UtilInstance> buildUtils(const TernAsicUtils::UtilHolderContext& context,
                                     Hardware::ChipType chip,
                                     const Pavo::Ptr<TernAsicUtils::TableManager>& tableManager,
                                     const SchanAccel::Fapmask& fapmask);

// The chip as the commands leave it: every row a command wrote, per block, fap and instance.
class ChipModel {
 public:
  void execute(const SchanAccel::SchanCmd& cmd);
  void execute(const SchanAccel::SchanCmds& cmds) {
    for (const auto& c : cmds) execute(c);
  }
  std::uint64_t commands() const noexcept { return commands_; }
  std::uint64_t redundantWrites() const noexcept { return redundant_; }
  // Sets a row as if the chip had been left so before the first command (a loaded state);
  // it counts as no command. Rows of unknown blocks and addresses are not kept.
  void rowIs(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned row,
             const std::uint32_t* words);
  // The row as the chip holds it; its reset value (zeros) when never written.
  void row(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned row,
           std::uint32_t* out) const;

  struct Mismatch {
    const TernAsicUtils::HwTableInfo* table;
    TernAsicUtils::HwShadowKey key;
    unsigned row;
    std::vector<std::uint32_t> shadow, hardware;
  };
  // Every row of every shadow copy (and of every copy the chip holds) whose shadow value,
  // the reset value when absent, differs from the chip.
  std::vector<Mismatch> compare(const TernAsicUtils::TableManager& tableManager) const;

 private:
  using CopyKey = std::tuple<std::uint16_t, std::uint16_t>;  // block, shadow key value
  // The words of that row in the model, held from now on; null when the model holds no
  // such row.
  std::uint32_t* rowAt(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned row,
                       const TernAsicUtils::HwTableInfo** info);
  std::map<CopyKey, std::vector<std::uint32_t>> mem_;
  std::uint64_t commands_ = 0, redundant_ = 0;
  // The copy each block's last command wrote (map nodes and their rows never move).
  struct Last {
    std::uint16_t block = 0, key = 0;
    const TernAsicUtils::HwTableInfo* info = nullptr;
    std::uint32_t* words = nullptr;
  };
  std::array<Last, 32> last_{};
};

// The table object of that table and revision in the manager, made the way a Util makes it
// when the manager has none yet (a host program that writes rows no Util owns).
TernAsicUtils::HwCommonTableBase& obtainTable(TernAsicUtils::TableManager& manager,
                                              const TernAsicUtils::HwTableInfo& info,
                                              Hardware::Tern::FapRevision revision);

// Decodes a command back to its table, row and entry.
struct DecodedCmd {
  const TernAsicUtils::HwTableInfo* table;  // null when the block is unknown
  TernAsicUtils::HwShadowKey key;
  unsigned row;
};
DecodedCmd decode(const SchanAccel::SchanCmd& cmd);
}  // namespace Host
