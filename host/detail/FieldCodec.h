// Entries of hardware tables: the row format kept as words, and the visitors that render,
// list and fill an entry through one description of its fields.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "host/HwTableInfo.h"

namespace TernAsicUtils::detail {
// Field visitors over an entry's description.
namespace FieldCodec {
template <class T>
struct Width;
template <>
struct Width<unsigned char> {
  static constexpr unsigned bits = 8;
};
template <unsigned N>
struct Width<UInt<N>> {
  static constexpr unsigned bits = N;
};

// Words of a row whose fields have these widths, packed from bit 0.
template <std::size_t N>
constexpr unsigned wordsFor(const unsigned (&widths)[N]) {
  unsigned bits = 0;
  for (unsigned w : widths) bits += w;
  return (bits + 31) / 32;
}

class Printer {
 public:
  explicit Printer(Pavo::StrepBuf& b) noexcept : b_(b) {}
  template <class T>
  void operator()(const char* name, const T& v) {
    sep(name);
    Pavo::strepFormat(b_, "{}", unsigned(v));
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>& a) {
    sep(name);
    Pavo::strepAppend(b_, "[");
    for (std::size_t i = 0; i < K; ++i)
      Pavo::strepFormat(b_, "{}{}", i ? ", " : "", unsigned(a[i]));
    Pavo::strepAppend(b_, "]");
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    sep(name);
    m.strep(b_);
  }
  void close() { Pavo::strepAppend(b_, first_ ? "{ }" : " }"); }

 private:
  void sep(const char* name) {
    Pavo::strepAppend(b_, first_ ? "{ " : ", ");
    first_ = false;
    Pavo::strepFormat(b_, "{}: ", name);
  }
  Pavo::StrepBuf& b_;
  bool first_ = true;
};

// The largest value of every field, in Lister's shape.
class LimitLister {
 public:
  explicit LimitLister(const EntryFieldSink& s) noexcept : s_(s) {}
  template <class T>
  void operator()(const char* name, const T&) {
    const std::uint32_t x = max(Width<T>::bits);
    s_(name, &x, 1, false);
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>&) {
    std::uint32_t x[K];
    for (auto& v : x) v = max(Width<T>::bits);
    s_(name, x, unsigned(K), true);
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    std::uint32_t x[Brim::PerUnitBitmap::kMaxWords];
    for (auto& v : x) v = ~0u;
    s_(name, x, m.size(), true);
  }

 private:
  static constexpr std::uint32_t max(unsigned bits) noexcept {
    return bits >= 32 ? ~0u : (1u << bits) - 1;
  }
  const EntryFieldSink& s_;
};

// Sets every field from values in Lister's order; each field type checks its own range.
class Filler {
 public:
  explicit Filler(const std::uint32_t* values) noexcept : v_(values) {}
  template <class T>
  void operator()(const char*, T& v) {
    v = make<T>(*v_++);
  }
  template <class T, std::size_t K>
  void operator()(const char*, std::array<T, K>& a) {
    for (auto& v : a) v = make<T>(*v_++);
  }
  void operator()(const char*, Brim::PerUnitBitmap& m) {
    for (unsigned i = 0; i < m.size(); ++i) m.wordIs(i, *v_++);
  }

 private:
  template <class T>
  static T make(std::uint32_t x) {
    if constexpr (std::is_same_v<T, unsigned char>) {
      if (x > 0xff) HostDetail::throwUIntRange(8);
      return T(x);
    } else {
      return T(x);  // UInt<N> refuses what does not fit
    }
  }
  const std::uint32_t* v_;
};

class Lister {
 public:
  explicit Lister(const EntryFieldSink& s) noexcept : s_(s) {}
  template <class T>
  void operator()(const char* name, const T& v) {
    const std::uint32_t x = std::uint32_t(v);
    s_(name, &x, 1, false);
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>& a) {
    std::uint32_t x[K];
    for (std::size_t i = 0; i < K; ++i) x[i] = std::uint32_t(a[i]);
    s_(name, x, unsigned(K), true);
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    s_(name, m.data(), m.size(), true);
  }

 private:
  const EntryFieldSink& s_;
};
}  // namespace FieldCodec

// Base of every table's Entry: the fields live in the row format itself, so that reading a
// row from the shadow or writing one back is a copy of its words, and a field is read or
// changed in place; the Entry remembers the key it was built for. `describe` (rendering,
// listing, filling) works on copies of the fields, written back for a visitor that changes
// them.
template <class Derived, class Key, unsigned Words>
class PackedHwEntry {
 public:
  using EntryKey = Key;
  static constexpr unsigned kWords = Words;
  explicit PackedHwEntry(const Key& key) noexcept : key_(key), w_{} {}
  // For a reader that fills every word at once (a shadow read): no zeroing first.
  struct RowFollows {};
  PackedHwEntry(const Key& key, RowFollows) noexcept : key_(key) {}
  const Key& key() const noexcept { return key_; }

  void encode(std::uint32_t* w) const noexcept {
    for (unsigned i = 0; i < Words; ++i) w[i] = w_[i];
  }
  void decode(const std::uint32_t* w) noexcept {
    for (unsigned i = 0; i < Words; ++i) w_[i] = w[i];
  }
  std::uint32_t* words() noexcept { return w_; }
  const std::uint32_t* words() const noexcept { return w_; }
  static bool isEq(const void* a, const void* b) {
    const auto* x = static_cast<const Derived*>(a);
    const auto* y = static_cast<const Derived*>(b);
    for (unsigned i = 0; i < Words; ++i)
      if (x->w_[i] != y->w_[i]) return false;
    return true;
  }
  void strep(Pavo::StrepBuf& b) const {
    FieldCodec::Printer p(b);
    Derived::describe(static_cast<const Derived&>(*this), p);
    p.close();
  }
  static void fieldsOf(const std::uint32_t* w, const EntryFieldSink& sink) {
    Derived e{Key{}};
    e.decode(w);
    FieldCodec::Lister l(sink);
    Derived::describe(std::as_const(e), l);
  }
  static void fieldLimits(const EntryFieldSink& sink) {
    const Derived e{Key{}};
    FieldCodec::LimitLister l(sink);
    Derived::describe(e, l);
  }
  static void fromFields(const std::uint32_t* values, std::uint32_t* w) {
    Derived e{Key{}};
    FieldCodec::Filler f(values);
    Derived::describe(e, f);
    e.encode(w);
  }

 protected:
  // Field of Bits bits at bit offset Off of the row; a field may span two words.
  template <unsigned Off, unsigned Bits>
  std::uint32_t bits() const noexcept {
    static_assert(Off + Bits <= Words * 32);
    constexpr unsigned w = Off / 32, b = Off % 32;
    std::uint64_t v = w_[w] >> b;
    if constexpr (b + Bits > 32) v |= std::uint64_t(w_[w + 1]) << (32 - b);
    return std::uint32_t(v & ((std::uint64_t(1) << Bits) - 1));
  }
  template <unsigned Off, unsigned Bits>
  void bitsIs(std::uint32_t v) noexcept {
    constexpr unsigned w = Off / 32, b = Off % 32;
    constexpr std::uint64_t mask = (std::uint64_t(1) << Bits) - 1;
    w_[w] = std::uint32_t((w_[w] & ~(mask << b)) | ((v & mask) << b));
    if constexpr (b + Bits > 32)
      w_[w + 1] = std::uint32_t((w_[w + 1] & ~(mask >> (32 - b))) | ((v & mask) >> (32 - b)));
  }

 private:
  Key key_;
  std::uint32_t w_[Words];
};
}  // namespace TernAsicUtils::detail
