// Counters the host keeps: per Util (adds, deletes, updates on delete, fap mask
// mismatches) and, in the table manager, the commands enqueued per software table and shadow
// copy.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "host/Node.h"
#include "host/Types.h"

namespace TernAsicUtils {
class UtilStats : public Pavo::Node {
 public:
  void addCntInc(std::uint64_t n) noexcept { add_ += n; }
  void deleteCntInc(std::uint64_t n) noexcept { delete_ += n; }
  void updateOnDelCntInc(std::uint64_t n) noexcept { updateOnDel_ += n; }
  void fapmaskMismatchInc(std::uint64_t n) noexcept { fapmaskMismatch_ += n; }
  std::uint64_t addCnt() const noexcept { return add_; }
  std::uint64_t deleteCnt() const noexcept { return delete_; }
  std::uint64_t updateOnDelCnt() const noexcept { return updateOnDel_; }
  std::uint64_t fapmaskMismatch() const noexcept { return fapmaskMismatch_; }

 private:
  std::uint64_t add_ = 0, delete_ = 0, updateOnDel_ = 0, fapmaskMismatch_ = 0;
};

class TableSchanEnqueueStats : public Pavo::Node {
 public:
  TableSchanEnqueueStats() = default;
  TableSchanEnqueueStats(const TableSchanEnqueueStats& o) : Pavo::Node(o), counts_(o.counts_) {}
  TableSchanEnqueueStats& operator=(const TableSchanEnqueueStats& o) {
    counts_ = o.counts_;
    last_ = nullptr;
    return *this;
  }
  void entryEnqueueCntInc(HwShadowKey key, U32 n) {
    if (last_ && last_->first == key) [[likely]] {
      last_->second += n;
      return;
    }
    entryEnqueueCntIncOther(key, n);
  }
  std::uint64_t entryEnqueueCnt(HwShadowKey key) const noexcept;
  // Shadow copies with a count, sorted.
  std::vector<std::pair<HwShadowKey, std::uint64_t>> counts() const;

 private:
  void entryEnqueueCntIncOther(HwShadowKey key, U32 n);
  std::vector<std::pair<HwShadowKey, std::uint64_t>> counts_;
  std::pair<HwShadowKey, std::uint64_t>* last_ = nullptr;  // reset when counts_ grows
};
using SchanEnqueueStats = TableSchanEnqueueStats;

class TableManagerStats : public Pavo::Node {
 public:
  // The record of that software table, made on first use; it lives as long as these
  // statistics.
  TableSchanEnqueueStats& schanEnqueueStatsIs(Asic::SwTableId id) {
    if (last_ && lastId_ == id) [[likely]]
      return *last_;
    return schanEnqueueStatsMake(id);
  }
  // Records are never removed, so the last one found stays valid.
  TableSchanEnqueueStats* schanEnqueueStats(Asic::SwTableId id) const noexcept {
    if (last_ && lastId_ == id) return last_;
    return schanEnqueueStatsFind(id);
  }
  const std::vector<std::pair<Asic::SwTableId, Pavo::Ptr<TableSchanEnqueueStats>>>& all()
      const noexcept {
    return stats_;
  }

 private:
  TableSchanEnqueueStats& schanEnqueueStatsMake(Asic::SwTableId id);
  TableSchanEnqueueStats* schanEnqueueStatsFind(Asic::SwTableId id) const noexcept;
  std::vector<std::pair<Asic::SwTableId, Pavo::Ptr<TableSchanEnqueueStats>>> stats_;
  mutable TableSchanEnqueueStats* last_ = nullptr;
  mutable Asic::SwTableId lastId_{};
};
}  // namespace TernAsicUtils
