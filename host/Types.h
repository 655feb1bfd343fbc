// Value types shared by the host and the plug-in: fixed-width hardware values, ids, keys,
// fap masks and bitmaps.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>

#include "host/Strep.h"

using U32 = std::uint32_t;

namespace HostDetail {
[[noreturn]] void throwUIntRange(unsigned bits);
}

// Unsigned value of Bits bits; building one from a wider value raises the range error
// "U<Bits>::value < 0 or > 0x<max> not allowed".
template <unsigned Bits>
class UInt {
  static_assert(Bits >= 1 && Bits <= 32);

 public:
  using Raw = std::conditional_t<(Bits <= 8), std::uint8_t,
                                 std::conditional_t<(Bits <= 16), std::uint16_t, std::uint32_t>>;
  static constexpr std::uint32_t max = Bits == 32 ? 0xffffffffu : (1u << Bits) - 1;

  constexpr UInt() noexcept = default;
  constexpr UInt(std::uint64_t v) : v_(static_cast<Raw>(v)) {  // NOLINT: implicit on purpose
    if (v > max) HostDetail::throwUIntRange(Bits);
  }
  constexpr Raw value() const noexcept { return v_; }
  constexpr operator Raw() const noexcept { return v_; }
  constexpr bool operator==(const UInt&) const noexcept = default;
  void strep(Pavo::StrepBuf& b) const { Pavo::strepFormat(b, "{}", v_); }

 private:
  Raw v_ = 0;
};
using U1 = UInt<1>;
using U2 = UInt<2>;
using U3 = UInt<3>;
using U4 = UInt<4>;
using U14 = UInt<14>;

namespace Hardware {
enum class ChipType : std::uint32_t {};
constexpr ChipType kChipBcm88890A0{21};
constexpr ChipType kChipBcm88890B0{23};
const char* chipTypeName(ChipType t) noexcept;  // "bcm88890_a0", "bcm88890_b0" or "chip<N>"

namespace Tern {
// Chip type in the high half, revision number within the chip type in the low half, so
// several revisions of one chip type order and compare naturally.
class FapRevision {
 public:
  constexpr FapRevision() noexcept = default;
  constexpr FapRevision(ChipType chip, std::uint32_t revision) noexcept
      : v_((std::uint64_t(static_cast<std::uint32_t>(chip)) << 32) | revision) {}
  constexpr ChipType chipType() const noexcept { return ChipType(std::uint32_t(v_ >> 32)); }
  constexpr std::uint32_t revision() const noexcept { return std::uint32_t(v_); }
  constexpr std::uint64_t value() const noexcept { return v_; }
  static bool isEq(const void* a, const void* b) noexcept {
    return static_cast<const FapRevision*>(a)->v_ == static_cast<const FapRevision*>(b)->v_;
  }
  constexpr auto operator<=>(const FapRevision&) const noexcept = default;
  void strep(Pavo::StrepBuf& b) const;

 private:
  std::uint64_t v_ = 0;
};
}  // namespace Tern
}  // namespace Hardware

namespace SchanAccel {
// 0 to 127 name one fap, 128 is null (no particular fap).
class FapId {
 public:
  static constexpr std::uint8_t min = 0;
  static constexpr std::uint8_t null = 128;
  constexpr FapId() noexcept = default;
  constexpr FapId(std::uint32_t v) : v_(static_cast<std::uint8_t>(v)) {  // NOLINT
    if (v > null) throwRange();
  }
  constexpr std::uint8_t value() const noexcept { return v_; }
  constexpr bool isNull() const noexcept { return v_ == null; }
  constexpr bool operator==(const FapId&) const noexcept = default;
  void strep(Pavo::StrepBuf& b) const { Pavo::strepFormat(b, "{}", v_); }
  [[noreturn]] static void throwRange();

 private:
  std::uint8_t v_ = null;
};

// Set of fap ids 0 to 128.
class Fapmask {
 public:
  constexpr Fapmask() noexcept = default;
  void fapIdIs(FapId id, bool on) noexcept {
    const auto bit = std::uint64_t(1) << (id.value() % 64);
    auto& w = w_[id.value() / 64];
    w = on ? (w | bit) : (w & ~bit);
  }
  bool has(FapId id) const noexcept { return (w_[id.value() / 64] >> (id.value() % 64)) & 1; }
  Fapmask& operator&=(const Fapmask& o) noexcept {
    for (unsigned i = 0; i < w_.size(); ++i) w_[i] &= o.w_[i];
    return *this;
  }
  static bool isEq(const void* a, const void* b) noexcept {
    return static_cast<const Fapmask*>(a)->w_ == static_cast<const Fapmask*>(b)->w_;
  }
  bool empty() const noexcept { return (w_[0] | w_[1] | w_[2]) == 0; }
  void strep(Pavo::StrepBuf& b) const;

 private:
  std::array<std::uint64_t, 3> w_{};
};
}  // namespace SchanAccel

namespace TernAsicUtils {
using InstanceId = std::uint8_t;

// One shadow copy of a hardware table: fap id in the low byte, instance id in the high byte.
class HwShadowKey {
 public:
  constexpr HwShadowKey() noexcept = default;
  constexpr HwShadowKey(SchanAccel::FapId fap, InstanceId inst) noexcept
      : v_(std::uint16_t(fap.value() | (std::uint16_t(inst) << 8))) {}
  constexpr SchanAccel::FapId fapId() const noexcept { return SchanAccel::FapId(v_ & 0xff); }
  constexpr InstanceId instanceId() const noexcept { return InstanceId(v_ >> 8); }
  constexpr std::uint16_t value() const noexcept { return v_; }
  constexpr auto operator<=>(const HwShadowKey& o) const noexcept {
    // fap id first, then instance id: the order reports list copies in
    return std::pair(v_ & 0xff, v_ >> 8) <=> std::pair(o.v_ & 0xff, o.v_ >> 8);
  }
  constexpr bool operator==(const HwShadowKey&) const noexcept = default;
  Pavo::String toString() const;
  void strep(Pavo::StrepBuf& b) const;

 private:
  std::uint16_t v_ = 0;
};
}  // namespace TernAsicUtils

namespace Asic {
// Software table id: agent id (8 bits), group id (8 bits), table id (16 bits).
struct SwTableId {
  std::uint32_t value = 0;
  constexpr std::uint8_t agentId() const noexcept { return std::uint8_t(value >> 24); }
  constexpr std::uint8_t groupId() const noexcept { return std::uint8_t(value >> 16); }
  constexpr std::uint16_t tableId() const noexcept { return std::uint16_t(value); }
  constexpr auto operator<=>(const SwTableId&) const noexcept = default;
  void strep(Pavo::StrepBuf& b) const {
    Pavo::strepFormat(b, "{:02x}:{:02x}:{:04x}", agentId(), groupId(), tableId());
  }
};

// Unit of a log entry: instance id in the low byte, fap id in the high byte. Reading the
// fap id checks its range; rendering shows the raw numbers.
struct UnitId {
  std::uint16_t value = 0;
  static constexpr UnitId of(std::uint8_t fapId, std::uint8_t instanceId) noexcept {
    return UnitId{std::uint16_t((fapId << 8) | instanceId)};
  }
  constexpr std::uint8_t rawFapId() const noexcept { return std::uint8_t(value >> 8); }
  constexpr TernAsicUtils::InstanceId instanceId() const noexcept { return std::uint8_t(value); }
  constexpr SchanAccel::FapId fapId() const { return SchanAccel::FapId(rawFapId()); }
  constexpr TernAsicUtils::HwShadowKey shadowKey() const { return {fapId(), instanceId()}; }
  void strep(Pavo::StrepBuf& b) const {
    Pavo::strepFormat(b, "{{ fapId: {}, instanceId: {} }}", rawFapId(), instanceId());
  }
};
}  // namespace Asic

namespace Brim {
// Bit vector in 32-bit words. The word count is fixed at construction (9 by default) and
// lives inline, so building one never touches the heap.
class PerUnitBitmap {
 public:
  static constexpr unsigned kDefaultWords = 9;
  static constexpr unsigned kMaxWords = 16;
  PerUnitBitmap() noexcept : n_(kDefaultWords) {}
  explicit PerUnitBitmap(unsigned words) noexcept : n_(words > kMaxWords ? kMaxWords : words) {}

  unsigned size() const noexcept { return n_; }
  std::uint32_t word(unsigned i) const;  // range error past the last word
  void wordIs(unsigned i, std::uint32_t v);
  // Sets the first kDefaultWords words (the bitmap has at least that many).
  void wordsIs(const std::uint32_t* w) noexcept {
    for (unsigned i = 0; i < kDefaultWords; ++i) w_[i] = w[i];
  }
  const std::uint32_t* data() const noexcept { return w_.data(); }

  // Writes v into the width bits starting at pos: the field is cleared, then v is ORed in.
  // Words past the end are skipped; v is not masked to the width.
  void bitsOr(unsigned pos, unsigned value, unsigned width) noexcept {
    const std::uint32_t m = width >= 32 ? 0xffffffffu : (1u << width) - 1;
    const unsigned w = pos / 32, b = pos % 32;
    if (w < n_) w_[w] = (w_[w] & ~(m << b)) | (std::uint32_t(value) << b);
    if (b + width - 1 > 31 && w + 1 < n_)
      w_[w + 1] = (w_[w + 1] & ~(m >> (32 - b))) | (std::uint32_t(value) >> (32 - b));
  }
  // " 0x%08x" per word from the highest to word 0: nine words, or all of them when a word
  // at position 9 or above is set.
  Pavo::String bitmapToString() const;

  bool operator==(const PerUnitBitmap& o) const noexcept;
  void strep(Pavo::StrepBuf& b) const;

 private:
  std::array<std::uint32_t, kMaxWords> w_{};
  unsigned n_;
};
}  // namespace Brim
