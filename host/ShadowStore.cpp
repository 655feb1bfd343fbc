#include "host/ShadowStore.h"

#include <algorithm>
#include <cstring>

#include "host/Slab.h"

namespace TernAsicUtils {
namespace {
std::size_t presenceWords(unsigned rows) {
  return (rows + ShadowStore::kPresenceBits - 1) / ShadowStore::kPresenceBits;
}
// Rows are one to a few words: a store beats a call of memset for the one-word rows.
inline void zeroWords(std::uint32_t* to, unsigned n) noexcept {
  if (n == 1) {
    *to = 0;
    return;
  }
  std::memset(to, 0, n * sizeof(std::uint32_t));
}
}  // namespace

ShadowStore::~ShadowStore() {
  for (auto& c : copies_) Kelp::slabFree(c.present, copyBytes());
}

std::size_t ShadowStore::copyBytes() const noexcept {
  return std::size_t(rows_) * wordsPerRow_ * sizeof(std::uint32_t) +
         presenceWords(rows_) * sizeof(PresenceWord);
}

const ShadowStore::Copy* ShadowStore::findOther(HwShadowKey key) const noexcept {
  for (const auto& c : copies_)
    if (c.key == key) {
      last_ = &c;
      return last_;
    }
  return nullptr;
}

ShadowStore::Copy& ShadowStore::obtain(HwShadowKey key) {
  if (const Copy* c = find(key)) return const_cast<Copy&>(*c);
  // presence words first, so both parts stay naturally aligned
  void* mem = Kelp::slabAlloc(copyBytes());
  std::memset(mem, 0, copyBytes());
  auto* present = static_cast<PresenceWord*>(mem);
  copies_.push_back(
      Copy{key, reinterpret_cast<std::uint32_t*>(present + presenceWords(rows_)), present});
  last_ = &copies_.back();
  return copies_.back();
}

ShadowWatch* ShadowStore::watch_ = nullptr;
void ShadowStore::watchIs(ShadowWatch* watch) noexcept { watch_ = watch; }

void ShadowStore::erase(HwShadowKey key, unsigned row) noexcept {
  const Copy* c = find(key);
  if (!c) return;
  zeroWords(c->words + std::size_t(row) * wordsPerRow_, wordsPerRow_);
  c->present[row / kPresenceBits] &= ~(PresenceWord(1) << (row % kPresenceBits));
  if (watch_) watch_->rowChanged(info_, key, row);
}

bool ShadowStore::present(HwShadowKey key, unsigned row) const noexcept {
  const Copy* c = find(key);
  return c && row < rows_ && ((c->present[row / kPresenceBits] >> (row % kPresenceBits)) & 1);
}

void ShadowStore::clear(HwShadowKey key) noexcept {
  for (std::size_t i = 0; i < copies_.size(); ++i)
    if (copies_[i].key == key) {
      Kelp::slabFree(copies_[i].present, copyBytes());
      copies_.erase(copies_.begin() + std::ptrdiff_t(i));
      last_ = nullptr;
      if (watch_) watch_->copyCleared(info_, key);
      return;
    }
}

std::vector<HwShadowKey> ShadowStore::keys() const {
  std::vector<HwShadowKey> out;
  for (const auto& c : copies_)
    for (std::size_t w = 0; w < presenceWords(rows_); ++w)
      if (c.present[w]) {
        out.push_back(c.key);
        break;
      }
  std::sort(out.begin(), out.end());
  return out;
}
}  // namespace TernAsicUtils
