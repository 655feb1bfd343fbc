#include "tools/utilsim/Sha256.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace Utilsim {
namespace {
constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t rotr(std::uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

void compressPortable(std::uint32_t* state, const std::uint8_t* p, std::size_t blocks) {
  for (; blocks; --blocks, p += 64) {
    std::uint32_t w[64];
    for (unsigned t = 0; t < 16; ++t)
      w[t] = std::uint32_t(p[4 * t]) << 24 | std::uint32_t(p[4 * t + 1]) << 16 |
             std::uint32_t(p[4 * t + 2]) << 8 | p[4 * t + 3];
    for (unsigned t = 16; t < 64; ++t) {
      const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4],
                  f = state[5], g = state[6], h = state[7];
    for (unsigned t = 0; t < 64; ++t) {
      const std::uint32_t t1 =
          h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
      const std::uint32_t t2 =
          (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
  }
}

// The same with the SHA extensions: two rounds an instruction, the message schedule in four
// words at a time. State lanes are kept as the instructions want them (ABEF and CDGH).
__attribute__((target("sha,sse4.1"))) void compressSha(std::uint32_t* state, const std::uint8_t* p,
                                                       std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  tmp = _mm_shuffle_epi32(tmp, 0xb1);                // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1b);          // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xf0);       // CDGH
  for (; blocks; --blocks, p += 64) {
    const __m128i abef = state0, cdgh = state1;
    __m128i w[4];
    for (unsigned g = 0; g < 16; ++g) {
      __m128i& m = w[g % 4];
      if (g < 4) {
        m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * g)),
                             byteSwap);
      } else {
        // w[t] = w[t-16] + s0(w[t-15]) + w[t-7] + s1(w[t-2]), four t at once.
        const __m128i& prev = w[(g + 3) % 4];
        m = _mm_sha256msg1_epu32(m, w[(g + 1) % 4]);
        m = _mm_add_epi32(m, _mm_alignr_epi8(prev, w[(g + 2) % 4], 4));
        m = _mm_sha256msg2_epu32(m, prev);
      }
      __m128i k =
          _mm_add_epi32(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
      state1 = _mm_sha256rnds2_epu32(state1, state0, k);
      k = _mm_shuffle_epi32(k, 0x0e);
      state0 = _mm_sha256rnds2_epu32(state0, state1, k);
    }
    state0 = _mm_add_epi32(state0, abef);
    state1 = _mm_add_epi32(state1, cdgh);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1b);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xb1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xf0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}
}  // namespace

bool Sha256::accelerated() noexcept {
  static const bool has = [] {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool sse41 = c & bit_SSE4_1, ssse3 = c & bit_SSSE3;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return sse41 && ssse3 && (b & bit_SHA);
  }();
  return has;
}

Sha256::Sha256(Engine engine) noexcept
    : compress_(engine == Engine::Best && accelerated() ? compressSha : compressPortable),
      state_(kInitial) {}

void Sha256::add(const void* data, std::size_t size) noexcept {
  auto p = static_cast<const std::uint8_t*>(data);
  bytes_ += size;
  if (used_) {
    const std::size_t n = std::min(size, block_.size() - used_);
    std::memcpy(block_.data() + used_, p, n);
    used_ += n, p += n, size -= n;
    if (used_ < block_.size()) return;
    compress_(state_.data(), block_.data(), 1);
    used_ = 0;
  }
  if (const std::size_t whole = size / 64) {
    compress_(state_.data(), p, whole);
    p += whole * 64, size -= whole * 64;
  }
  std::memcpy(block_.data(), p, size);
  used_ = size;
}

std::string Sha256::hex() {
  const std::uint64_t bits = bytes_ * 8;
  block_[used_++] = 0x80;
  if (used_ > 56) {
    std::memset(block_.data() + used_, 0, 64 - used_);
    compress_(state_.data(), block_.data(), 1);
    used_ = 0;
  }
  std::memset(block_.data() + used_, 0, 56 - used_);
  for (unsigned i = 0; i < 8; ++i) block_[56 + i] = std::uint8_t(bits >> (56 - 8 * i));
  compress_(state_.data(), block_.data(), 1);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const std::uint32_t word : state_)
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(word >> shift) & 15];
  return out;
}

}  // namespace Utilsim
