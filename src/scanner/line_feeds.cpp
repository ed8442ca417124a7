// The line-feed searches, in three builds that differ only in how they classify the bytes of a
// block: portable code; SSE2, which every x86-64 processor has; and AVX2, chosen at run time
// where the processor has it. The tests check that all three find the same.
#include "scanner/line_feeds.h"

#include <array>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__x86_64__) && !defined(LINEBASIC_PORTABLE)
#include <immintrin.h>
#define LINEBASIC_X86_VECTORS 1
#endif

namespace linebasic {
namespace {

// The bytes of one block, classified; bit i stands for byte i.
struct BlockMasks {
  std::uint64_t lineFeeds;   // the line-feeds
  std::uint64_t hiders;      // the bytes that may hide a line-feed
  std::uint64_t lineStarts;  // the line-feeds followed by a blank, a '0' or the search's digit
};

// Whether a line-feed followed by `c` may start a line numbered with a number that is written
// with `digit` first ('\0': no line is looked for).
constexpr bool startsLine(char c, char digit) {
  return digit != '\0' && (c == digit || c == '0' || isBlank(c));
}

// What a byte is to a search where a token may start.
enum class ByteRole : std::uint8_t { Plain, LineFeed, Hider };

constexpr std::array<ByteRole, 256> makeByteRoles() {
  std::array<ByteRole, 256> roles{};
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    if (c == '\n') roles[static_cast<std::size_t>(byte)] = ByteRole::LineFeed;
    if (hidesLineFeeds(c)) roles[static_cast<std::size_t>(byte)] = ByteRole::Hider;
  }
  return roles;
}

constexpr std::array<ByteRole, 256> kByteRoles = makeByteRoles();

// A classifier is made for a search's digit and classifies the kBlockSize bytes at a block,
// reading the byte after them too. This one goes byte by byte.
class PortableClassifier {
 public:
  explicit PortableClassifier(char digit) : digit_(digit) {}

  BlockMasks operator()(const char* block) const {
    BlockMasks masks{};
    for (int i = 0; i < kBlockSize; ++i) {
      const ByteRole role = kByteRoles[static_cast<unsigned char>(block[i])];
      if (role == ByteRole::Plain) continue;
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (role == ByteRole::Hider) {
        masks.hiders |= bit;
      } else {
        masks.lineFeeds |= bit;
        if (startsLine(block[i + 1], digit_)) masks.lineStarts |= bit;
      }
    }
    return masks;
  }

 private:
  char digit_;
};

#ifdef LINEBASIC_X86_VECTORS

// SSE2 has no byte shuffle, so it finds the bytes that hide nothing by ranges and single
// values: the blanks and the line-feed, 0x25 to 0x3E but for the quote, dot and colon among
// them ("%&()*+,-/0123456789;<=>"), the lower-case letters and "|".
__m128i equalTo(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

__m128i inRange(__m128i bytes, char low, char high) {
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
  const __m128i width = _mm_set1_epi8(static_cast<char>(high - low));
  return _mm_cmpeq_epi8(_mm_min_epu8(offset, width), offset);  // unsigned offset <= width
}

std::uint64_t bitsOf(__m128i bytes) {
  return static_cast<std::uint16_t>(_mm_movemask_epi8(bytes));
}

class Sse2Classifier {
 public:
  explicit Sse2Classifier(char digit) : digit_(digit) {}

  BlockMasks operator()(const char* block) const {
    BlockMasks masks{};
    for (int offset = 0; offset < kBlockSize; offset += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset));
      const __m128i punctuation =
          _mm_andnot_si128(_mm_or_si128(_mm_or_si128(equalTo(bytes, '\''), equalTo(bytes, '.')),
                                        equalTo(bytes, ':')),
                           inRange(bytes, '%', '>'));
      const __m128i single = _mm_or_si128(_mm_or_si128(equalTo(bytes, ' '), equalTo(bytes, '\t')),
                                          _mm_or_si128(equalTo(bytes, '|'), equalTo(bytes, '\n')));
      const __m128i plain =
          _mm_or_si128(_mm_or_si128(punctuation, single), inRange(bytes, 'a', 'z'));
      const __m128i lineFeeds = equalTo(bytes, '\n');
      masks.hiders |= (~bitsOf(plain) & 0xFFFF) << offset;
      masks.lineFeeds |= bitsOf(lineFeeds) << offset;
      if (digit_ == '\0') continue;
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + offset + 1));
      const __m128i starts = _mm_or_si128(_mm_or_si128(equalTo(next, digit_), equalTo(next, '0')),
                                          _mm_or_si128(equalTo(next, ' '), equalTo(next, '\t')));
      masks.lineStarts |= bitsOf(_mm_and_si128(lineFeeds, starts)) << offset;
    }
    return masks;
  }

 private:
  char digit_;
};

// AVX2 classifies 32 bytes with two table lookups, by the low and by the high four bits of
// each byte. Each row of 16 byte values (same high four bits) that holds a byte that hides
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

// The constants live in the classifier, made once per search.
class Avx2Classifier {
 public:
  __attribute__((target("avx2"))) explicit Avx2Classifier(char digit)
      : lowTable_(tableOf(kNibbleTables.low)),
        highTable_(tableOf(kNibbleTables.high)),
        lowBits_(_mm256_set1_epi8(0x0F)),
        lineFeed_(_mm256_set1_epi8('\n')),
        digit_(digit) {}

  __attribute__((target("avx2"))) BlockMasks operator()(const char* block) const {
    const BlockMasks low = classifyHalf(block);
    const BlockMasks high = classifyHalf(block + 32);
    return {low.lineFeeds | high.lineFeeds << 32, low.hiders | high.hiders << 32,
            low.lineStarts | high.lineStarts << 32};
  }

 private:
  __attribute__((target("avx2"))) static __m256i tableOf(
      const std::array<std::uint8_t, 16>& table) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&table)));
  }

  __attribute__((target("avx2"))) static __m256i equalTo(__m256i bytes, char c) {
    return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
  }

  __attribute__((target("avx2"))) static std::uint64_t bitsOf(__m256i bytes) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
  }

  // The masks of the 32 bytes at `at`, in the low half of each.
  __attribute__((target("avx2"))) BlockMasks classifyHalf(const char* at) const {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i low = _mm256_shuffle_epi8(lowTable_, _mm256_and_si256(bytes, lowBits_));
    const __m256i high =
        _mm256_shuffle_epi8(highTable_, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), lowBits_));
    const __m256i hides = _mm256_cmpeq_epi8(_mm256_and_si256(low, high), _mm256_setzero_si256());
    const __m256i lineFeeds = _mm256_cmpeq_epi8(bytes, lineFeed_);
    if (digit_ == '\0') return {bitsOf(lineFeeds), bitsOf(hides), 0};
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    const __m256i starts =
        _mm256_or_si256(_mm256_or_si256(equalTo(next, digit_), equalTo(next, '0')),
                        _mm256_or_si256(equalTo(next, ' '), equalTo(next, '\t')));
    return {bitsOf(lineFeeds), bitsOf(hides), bitsOf(_mm256_and_si256(lineFeeds, starts))};
  }

  __m256i lowTable_;
  __m256i highTable_;
  __m256i lowBits_;  // the low four bits of each byte
  __m256i lineFeed_;
  char digit_;
};

#endif

// The masks of the text from `at` to its NUL at `end`, fewer than kBlockSize bytes, followed
// by NULs: a copy, classified by the portable code, which finds what the others find.
BlockMasks classifyShortText(const char* at, const char* end, char digit) {
  std::array<char, kBlockSize + 1> copy{};
  std::memcpy(copy.data(), at, static_cast<std::size_t>(end - at));
  return PortableClassifier(digit)(copy.data());
}

// The masks of the last block, at `at` and fewer than kBlockSize bytes before the NUL at `end`,
// in a text that starts at `start`: bit i stands for at[i], and the NUL is a hiding byte like
// any other. The block is the text's last kBlockSize bytes, with those before `at` dropped; a
// text shorter than a block is copied.
template <typename Classifier>
BlockMasks lastMasks(const Classifier& classify, const char* start, const char* at, const char* end,
                     char digit) {
  if (end - start < kBlockSize || at == end) return classifyShortText(at, end, digit);
  const auto skip = static_cast<int>(kBlockSize - (end - at));
  BlockMasks masks = classify(end - kBlockSize);
  masks.lineFeeds >>= skip;
  masks.lineStarts >>= skip;
  masks.hiders = masks.hiders >> skip | std::uint64_t{1} << (kBlockSize - skip);
  return masks;
}

// What a search sees of a block from a token boundary at byte `from`: the line-feed tokens up
// to the first hiding byte.
struct Block {
  std::uint64_t lineFeeds;   // line-feed tokens
  std::uint64_t lineStarts;  // those followed by a blank, a '0' or the search's digit
  int firstHider;            // the offset of the first hiding byte; kBlockSize for none
};

Block blockFrom(const BlockMasks& masks, int from) {
  const std::uint64_t fromHere = ~std::uint64_t{0} << from;
  const std::uint64_t hiders = masks.hiders & fromHere;
  const std::uint64_t beforeFirstHider = fromHere & (hiders - 1) & ~hiders;  // to the end: none
  return {masks.lineFeeds & beforeFirstHider, masks.lineStarts & beforeFirstHider,
          std::countr_zero(hiders)};
}

// Reads the text block by block from `from` and offers what it sees of each block to
// `visit(at, block, passed)`, which returns the line-feed to stop on, or null after adding the
// block's line-feeds to `passed`. Whole blocks that hold no hiding byte, no line start and
// fewer than `count - passed` line-feeds go to `passed` at once. A literal or Other word at a
// hiding byte is passed whole, as the scanner passes it, and the block's masks serve again
// from its end; the walk ends on the NUL.
template <typename Classifier, typename Visit>
LineFeedStop walkBlocks(const char* start, const char* from, const char* end, std::int32_t count,
                        char digit, Visit visit) {
  const Classifier classify(digit);
  std::int32_t passed = 0;
  const char* at = from;
  const char* runStart = from;  // just past the last literal or Other word passed
  while (true) {
    // Whole blocks are counted until one needs a closer look; that one is classified once.
    BlockMasks masks{};
    for (;; at += kBlockSize) {
      if (end - at < kBlockSize) {
        masks = lastMasks(classify, start, at, end, digit);
        break;
      }
      masks = classify(at);
      const int lineFeeds = std::popcount(masks.lineFeeds);
      if ((masks.hiders | masks.lineStarts) != 0 || lineFeeds >= count - passed) break;
      passed += lineFeeds;
    }
    const char* const base = at;
    for (int offset = 0; offset < kBlockSize; offset = static_cast<int>(at - base)) {
      const Block block = blockFrom(masks, offset);
      if (const char* const stop = visit(base, block, passed); stop != nullptr) {
        return {stop, stop, passed};
      }
      if (block.firstHider == kBlockSize) {
        at = base + kBlockSize;
        break;
      }
      const char* const hider = base + block.firstHider;
      if (*hider == '\0') return {hider, lastTokenEnd(runStart, hider), passed};
      at = runStart = passLiteralOrWord(hider);
      if (at - base >= kBlockSize) break;
    }
  }
}

constexpr std::int32_t kNoCount = std::numeric_limits<std::int32_t>::max();

// The offset of the n-th set bit of `bits` (the first is n = 0); `bits` has more than n.
int nthSetBit(std::uint64_t bits, std::int32_t n) {
  for (; n > 0; --n)
    bits &= bits - 1;
  return std::countr_zero(bits);
}

template <typename Classifier>
LineFeedStop findLineFeedWith(const char* start, const char* from, const char* end,
                              std::int32_t count) {
  return walkBlocks<Classifier>(
      start, from, end, count, '\0',
      [count](const char* at, const Block& block, std::int32_t& passed) -> const char* {
        const int lineFeeds = std::popcount(block.lineFeeds);
        if (lineFeeds < count - passed) {
          passed += lineFeeds;
          return nullptr;
        }
        const char* const lineFeed = at + nthSetBit(block.lineFeeds, count - passed - 1);
        passed = count - 1;
        return lineFeed;
      });
}

// The digit a number n is written with first, without leading zeros; '0' when no Number token
// has value n.
char leadingDigit(std::int32_t n) {
  if (n < 0 || n > 9999) return '0';
  while (n >= 10)
    n /= 10;
  return static_cast<char>('0' + n);
}

// Whether the token at `at` is a Number of value n.
bool isNumberOf(const char* at, std::int32_t n) {
  int digits = 0;
  while (digits < kNumberScanLimit && isDigit(at[digits]))
    ++digits;
  return digits > 0 && digits < kNumberScanLimit && decimalValue(at) == n;
}

template <typename Classifier>
LineFeedStop findNumberedLineWith(const char* start, const char* from, const char* end,
                                  std::int32_t n) {
  return walkBlocks<Classifier>(
      start, from, end, kNoCount, leadingDigit(n),
      [n](const char* at, const Block& block, std::int32_t& passed) -> const char* {
        for (std::uint64_t starts = block.lineStarts; starts != 0; starts &= starts - 1) {
          const int lineFeed = std::countr_zero(starts);
          if (isNumberOf(skipBlanks(at + lineFeed + 1), n)) {
            const std::uint64_t before = (std::uint64_t{1} << lineFeed) - 1;
            passed += std::popcount(block.lineFeeds & before);
            return at + lineFeed;
          }
        }
        passed += std::popcount(block.lineFeeds);
        return nullptr;
      });
}

template <typename Classifier>
constexpr detail::LineFeedSearch kSearchWith = {findLineFeedWith<Classifier>,
                                                findNumberedLineWith<Classifier>};

#ifdef LINEBASIC_X86_VECTORS

// The AVX2 searches, compiled for AVX2 with everything they call.
__attribute__((target("avx2,bmi,popcnt"), flatten)) LineFeedStop findLineFeedAvx2(
    const char* start, const char* from, const char* end, std::int32_t count) {
  return findLineFeedWith<Avx2Classifier>(start, from, end, count);
}

__attribute__((target("avx2,bmi,popcnt"), flatten)) LineFeedStop findNumberedLineAvx2(
    const char* start, const char* from, const char* end, std::int32_t n) {
  return findNumberedLineWith<Avx2Classifier>(start, from, end, n);
}

const std::array<detail::LineFeedSearch, 3> kSearches = {
    kSearchWith<PortableClassifier>, kSearchWith<Sse2Classifier>,
    detail::LineFeedSearch{findLineFeedAvx2, findNumberedLineAvx2}};

std::size_t supportedSearches() {
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("popcnt");
  return avx2 ? 3 : 2;
}

#else

const std::array<detail::LineFeedSearch, 1> kSearches = {kSearchWith<PortableClassifier>};

std::size_t supportedSearches() {
  return 1;
}

#endif

}  // namespace

std::span<const detail::LineFeedSearch> detail::lineFeedSearches() {
  return std::span(kSearches).first(supportedSearches());
}

}  // namespace linebasic
