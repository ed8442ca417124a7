// Finding line-feed tokens in bulk, for the line searches. The text is read a block of bytes at
// a time: a block's line-feeds are line-feed tokens up to its first byte that may hide one,
// where the scanner's rules take over. This is the one place that uses vector instructions.
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

// Where a search stopped: on a line-feed token, or on the text's NUL.
struct LineFeedStop {
  const char* at;
  const char* previousEnd;       // the end of the token before `at`, when `at` is the NUL
  std::int32_t lineFeedsBefore;  // the line-feed tokens the search passed before `at`
};

namespace detail {

using Search = LineFeedStop (*)(const char* start, const char* from, const char* end,
                                std::int32_t target);

// One way to search, by the instructions it classifies bytes with.
struct LineFeedSearch {
  Search lineFeed;      // as findLineFeed
  Search numberedLine;  // as findNumberedLine
};

// Every way this build has that this processor supports, the portable one first.
std::span<const LineFeedSearch> lineFeedSearches();

inline const LineFeedSearch& fastestSearch() {
  static const LineFeedSearch& fastest = lineFeedSearches().back();
  return fastest;
}

}  // namespace detail

// Both searches read the text that starts at `start` and ends with the NUL at `end`, from
// `from`, the end of a token, and read nothing past the NUL.

// Stops on the `count`-th line-feed token (the first is 1), or on the NUL.
inline LineFeedStop findLineFeed(const char* start, const char* from, const char* end,
                                 std::int32_t count) {
  return detail::fastestSearch().lineFeed(start, from, end, count);
}

// Stops on the first line-feed token that a Number token of value n follows, past blanks, or
// on the NUL.
inline LineFeedStop findNumberedLine(const char* start, const char* from, const char* end,
                                     std::int32_t n) {
  return detail::fastestSearch().numberedLine(start, from, end, n);
}

}  // namespace linebasic
