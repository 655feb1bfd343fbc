// The software shadow of one hardware table: one copy per fap id and instance id, each a
// dense array of rows in the chip's own row format plus a presence bit per row, allocated
// when the copy is first written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/HwTableInfo.h"

namespace TernAsicUtils {
// Host programs can watch every change of the shadows: the simulator names the log line and
// Util behind each row. Calls come in the middle of a write: record, do not reenter.
class ShadowWatch {
 public:
  virtual void rowChanged(const HwTableInfo& table, HwShadowKey key, unsigned row) noexcept = 0;
  virtual void copyCleared(const HwTableInfo& table, HwShadowKey key) noexcept = 0;

 protected:
  ~ShadowWatch() = default;
};

// Rows of every shadow copy of one table object.
class ShadowStore {
 public:
  // Presence bits in the machine's word: one load, shift and test on either build.
  using PresenceWord = std::size_t;
  static constexpr unsigned kPresenceBits = sizeof(PresenceWord) * 8;

  struct Copy {
    HwShadowKey key;
    std::uint32_t* words;
    PresenceWord* present;
  };
  explicit ShadowStore(const HwTableInfo& info) noexcept
      : info_(info), rows_(info.rows), wordsPerRow_(info.wordsPerRow) {}
  ~ShadowStore();
  ShadowStore(const ShadowStore&) = delete;
  ShadowStore& operator=(const ShadowStore&) = delete;

  // The copy of that key, or null. Entries of one unit come in runs: the copy found last is
  // tried first, inline.
  const Copy* find(HwShadowKey key) const noexcept {
    if (last_ && last_->key == key) [[likely]]
      return last_;
    return findOther(key);
  }
  // Words as for read.
  template <unsigned Words = 0>
  void write(HwShadowKey key, unsigned row, const std::uint32_t* words) {
    const unsigned n = Words ? Words : wordsPerRow_;
    Copy& c = last_ && last_->key == key ? const_cast<Copy&>(*last_) : obtain(key);
    std::uint32_t* to = c.words + std::size_t(row) * n;
    for (unsigned i = 0; i < n; ++i) to[i] = words[i];
    c.present[row / kPresenceBits] |= PresenceWord(1) << (row % kPresenceBits);
    if (watch_) [[unlikely]]
      watch_->rowChanged(info_, key, row);
  }
  void erase(HwShadowKey key, unsigned row) noexcept;
  // Copies the row out; false (and zeros) when the row is absent. Words: the row width when
  // the caller knows it at compile time (it equals the table's), 0 otherwise.
  template <unsigned Words = 0>
  bool read(HwShadowKey key, unsigned row, std::uint32_t* out) const noexcept {
    const unsigned n = Words ? Words : wordsPerRow_;
    const Copy* c = find(key);
    if (c && row < rows_ && ((c->present[row / kPresenceBits] >> (row % kPresenceBits)) & 1)) {
      const std::uint32_t* from = c->words + std::size_t(row) * n;
      for (unsigned i = 0; i < n; ++i) out[i] = from[i];
      return true;
    }
    for (unsigned i = 0; i < n; ++i) out[i] = 0;
    return false;
  }
  bool present(HwShadowKey key, unsigned row) const noexcept;
  void clear(HwShadowKey key) noexcept;
  std::vector<HwShadowKey> keys() const;  // copies that hold at least one row, sorted
  std::size_t copyBytes() const noexcept;
  // Memory the copies hold: nothing until a copy is first written.
  std::size_t heldBytes() const noexcept { return copies_.size() * copyBytes(); }

  // The watcher of every store in the process (none by default).
  static void watchIs(ShadowWatch* watch) noexcept;

 private:
  Copy& obtain(HwShadowKey key);
  const Copy* findOther(HwShadowKey key) const noexcept;
  static ShadowWatch* watch_;  // tested on every write
  const HwTableInfo& info_;
  unsigned rows_, wordsPerRow_;
  std::vector<Copy> copies_;
  // The copy found last (entries of one unit come in runs); reset whenever copies_ changes.
  mutable const Copy* last_ = nullptr;
};
}  // namespace TernAsicUtils
