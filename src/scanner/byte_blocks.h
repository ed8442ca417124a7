// The line searches read the text a block of bytes at a time. For each block they need to know
// where its line-feeds are and where the first byte stands that may hide a line-feed or a
// double quote from such a reading. This is the one place that uses vector instructions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "scanner/scanner.h"

namespace linebasic {

inline constexpr std::ptrdiff_t kBlockSize = 64;

// A byte that, where a token may start, begins something a byte-wise search must pass whole:
// the double quote (a literal, which may hold line-feeds), the NUL (the end of the text), and
// any byte that starts an Other word (which may hold double quotes). Every other byte is a
// blank, a line-feed or part of a run of whole one-letter, keyword, number and delimiter
// tokens, so that the byte after such a run starts a token.
constexpr bool hidesLineFeeds(char c) {
  const TokenKind kind = firstByteKind(c);
  return kind == TokenKind::String || kind == TokenKind::EndOfText ||
         (kind == TokenKind::Invalid && !isBlank(c));
}

// What a block of kBlockSize bytes holds up to its first hiding byte.
struct BlockScan {
  std::uint64_t lineFeeds;     // bit i set: byte i is a line-feed before the first hiding byte
  std::int32_t lineFeedCount;  // the bits set in lineFeeds
  std::int32_t firstHider;     // offset of the first hiding byte; kBlockSize when there is none
};

namespace detail {

// Scans the kBlockSize bytes at `block` and drops the first `skip` of them: bit i then stands
// for block[skip + i], and byte kBlockSize - skip, if any, reads as the NUL that ends the text.
using BlockScanner = BlockScan (*)(const char* block, int skip);

// The best scanner this processor supports.
BlockScanner bestBlockScanner();

// Scans the bytes from `at` to `end` of a text shorter than kBlockSize.
BlockScan scanShortText(BlockScanner scanner, const char* at, const char* end);

// Every scanner this build has and this processor supports, the portable one first.
std::span<const BlockScanner> blockScanners();

}  // namespace detail

// The block at `at`, in the text from `start` to its terminating NUL at `end`. Near the end,
// the block is the text's last kBlockSize bytes with those before `at` dropped, so that
// nothing past the text is read.
inline BlockScan scanBlock(const char* at, const char* start, const char* end) {
  static const detail::BlockScanner scanner = detail::bestBlockScanner();
  if (end - at >= kBlockSize) return scanner(at, 0);
  if (end - start >= kBlockSize) {
    return scanner(end - kBlockSize, static_cast<int>(kBlockSize - (end - at)));
  }
  return detail::scanShortText(scanner, at, end);
}

}  // namespace linebasic
