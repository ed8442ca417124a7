// Block scanners: one portable, and on x86-64 one for SSE2, which every such processor has,
// and one for AVX2, chosen at run time where the processor has it. All three give the same
// result for every block; the tests compare them on random blocks.
#include "scanner/byte_blocks.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && !defined(LINEBASIC_PORTABLE_ONLY)
#define LINEBASIC_X86_VECTORS 1
#include <immintrin.h>
#endif

namespace linebasic::detail {
namespace {

// The line-feeds of `lineFeeds` that stand before the first set bit of `hiders`, as a scan,
// once the first `skip` bits of both are dropped and the end of the text set after them.
constexpr BlockScan cutAtFirstHider(std::uint64_t lineFeeds, std::uint64_t hiders, int skip) {
  if (skip != 0) {
    lineFeeds >>= skip;
    hiders = hiders >> skip | std::uint64_t{1} << (kBlockSize - skip);
  }
  const std::uint64_t beforeFirstHider = (hiders - 1) & ~hiders;  // all bits when there is none
  const std::uint64_t counted = lineFeeds & beforeFirstHider;
  return {counted, std::popcount(counted), std::countr_zero(hiders)};
}

BlockScan scanPortable(const char* block, int skip) {
  std::uint64_t lineFeeds = 0;
  std::uint64_t hiders = 0;
  for (int i = 0; i < kBlockSize; ++i) {
    lineFeeds |= std::uint64_t{block[i] == '\n'} << i;
    hiders |= std::uint64_t{hidesLineFeeds(block[i])} << i;
  }
  return cutAtFirstHider(lineFeeds, hiders, skip);
}

#ifdef LINEBASIC_X86_VECTORS

// SSE2 has no byte shuffle, so it tests the bytes that hide nothing by ranges and single
// values: the blanks and the line-feed, 0x25 to 0x3E but for the quote, dot and colon among
// them ("%&()*+,-/0123456789;<=>"), the lower-case letters and "|".
__m128i inRange(__m128i bytes, char low, char high) {
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
  const __m128i width = _mm_set1_epi8(static_cast<char>(high - low));
  return _mm_cmpeq_epi8(_mm_min_epu8(offset, width), offset);  // unsigned offset <= width
}

__m128i equalTo(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// Bit i set: byte i of the 16 at `at` hides nothing (first) and is a line-feed (second).
std::array<std::uint64_t, 2> classifySse2(const char* at) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i punctuation = _mm_andnot_si128(
      _mm_or_si128(_mm_or_si128(equalTo(bytes, '\''), equalTo(bytes, '.')), equalTo(bytes, ':')),
      inRange(bytes, '%', '>'));
  const __m128i single = _mm_or_si128(_mm_or_si128(equalTo(bytes, ' '), equalTo(bytes, '\t')),
                                      _mm_or_si128(equalTo(bytes, '|'), equalTo(bytes, '\n')));
  const __m128i plain = _mm_or_si128(_mm_or_si128(punctuation, single), inRange(bytes, 'a', 'z'));
  return {static_cast<std::uint16_t>(_mm_movemask_epi8(plain)),
          static_cast<std::uint16_t>(_mm_movemask_epi8(equalTo(bytes, '\n')))};
}

BlockScan scanSse2(const char* block, int skip) {
  std::uint64_t plain = 0;
  std::uint64_t lineFeeds = 0;
  for (int quarter = 0; quarter < 4; ++quarter) {
    const auto [plainBits, lineFeedBits] = classifySse2(block + 16 * quarter);
    plain |= plainBits << (16 * quarter);
    lineFeeds |= lineFeedBits << (16 * quarter);
  }
  return cutAtFirstHider(lineFeeds, ~plain, skip);
}

// AVX2 classifies 32 bytes with two table lookups, by the low and by the high four bits of
// each byte. Every row of 16 byte values (same high four bits) that holds a byte that hides
// nothing gets a bit of its own; the low table marks, for each low four bits, the rows in
// which that byte hides nothing. A byte hides nothing when the two lookups share a bit.
struct NibbleTables {
  std::array<std::uint8_t, 16> low;
  std::array<std::uint8_t, 16> high;
};

constexpr NibbleTables makeNibbleTables() {
  NibbleTables tables{};
  int rowBits = 0;
  for (int row = 0; row < 16; ++row) {
    for (int column = 0; column < 16; ++column) {
      if (hidesLineFeeds(static_cast<char>(row * 16 + column))) continue;
      if (tables.high[row] == 0) tables.high[row] = static_cast<std::uint8_t>(1U << rowBits++);
      tables.low[column] |= tables.high[row];
    }
  }
  return rowBits <= 8 ? tables : NibbleTables{};  // more rows than bits: no tables at all
}

constexpr NibbleTables kNibbleTables = makeNibbleTables();
static_assert(kNibbleTables.high != std::array<std::uint8_t, 16>{}, "one bit per row");

[[gnu::always_inline]] inline __attribute__((target("avx2,bmi,popcnt"))) __m256i broadcastTable(
    const std::array<std::uint8_t, 16>& table) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&table)));
}

// Bit i set: byte i of the 32 at `at` hides nothing (first) and is a line-feed (second).
[[gnu::always_inline]] inline __attribute__((target("avx2,bmi,popcnt")))
std::array<std::uint64_t, 2>
classifyAvx2(const char* at) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i lowBits = _mm256_set1_epi8(0x0F);
  const __m256i low =
      _mm256_shuffle_epi8(broadcastTable(kNibbleTables.low), _mm256_and_si256(bytes, lowBits));
  const __m256i high = _mm256_shuffle_epi8(broadcastTable(kNibbleTables.high),
                                           _mm256_and_si256(_mm256_srli_epi16(bytes, 4), lowBits));
  const __m256i hides = _mm256_cmpeq_epi8(_mm256_and_si256(low, high), _mm256_setzero_si256());
  const __m256i lineFeed = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'));
  return {static_cast<std::uint32_t>(~_mm256_movemask_epi8(hides)),
          static_cast<std::uint32_t>(_mm256_movemask_epi8(lineFeed))};
}

__attribute__((target("avx2,bmi,popcnt"))) BlockScan scanAvx2(const char* block, int skip) {
  const auto [plainLow, lineFeedsLow] = classifyAvx2(block);
  const auto [plainHigh, lineFeedsHigh] = classifyAvx2(block + 32);
  return cutAtFirstHider(lineFeedsLow | lineFeedsHigh << 32, ~(plainLow | plainHigh << 32), skip);
}

const std::array<BlockScanner, 3> kScanners = {scanPortable, scanSse2, scanAvx2};

std::size_t supportedScanners() {
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("popcnt");
  return avx2 ? 3 : 2;
}

#else

const std::array<BlockScanner, 1> kScanners = {scanPortable};

std::size_t supportedScanners() {
  return 1;
}

#endif

}  // namespace

std::span<const BlockScanner> blockScanners() {
  return std::span(kScanners).first(supportedScanners());
}

BlockScanner bestBlockScanner() {
  return blockScanners().back();
}

BlockScan scanShortText(BlockScanner scanner, const char* at, const char* end) {
  std::array<char, kBlockSize> block{};
  std::memcpy(block.data(), at, static_cast<std::size_t>(end - at));
  return scanner(block.data(), 0);
}

}  // namespace linebasic::detail
