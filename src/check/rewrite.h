// Other BASICs' ways that have an evident equal in this one, written so: the advice for a line
// that uses them then writes the user's own line, not a rule to apply by hand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace linebasic::check {

// A line's statements as this BASIC writes them, and a line to add after it where one
// statement cannot say it all.
struct Rewritten {
  std::string line;
  std::vector<std::string> after;  // such as "if y < 0 then y = 0 - y"; mostly none
  bool droppedSemicolon = false;   // a ';' that ended a PRINT went, changing nothing
};

// The playground's engine, held to the page's size, leaves out what a run tries and the
// rewrites of other BASICs' lines: its advice is then the plainer advice these replace.
#ifdef LINEBASIC_COMPACT_CHECKER
inline constexpr bool kCompactChecker = true;
#else
inline constexpr bool kCompactChecker = false;
#endif

// A token of a line as the rewrites read it: a word of lower-case letters, a number, a literal
// (to its closing quote or the line's end), or any other byte; blanks only separate them.
struct Piece {
  std::size_t begin;
  std::size_t end;
  char kind;  // 'w' word, 'n' number, 'l' literal, 'p' any other byte
};
std::vector<Piece> pieces(std::string_view line);

// The line numbers, as written, after the words goto, gosub, then and else in `text` (in lower
// case): the lines it jumps to.
std::vector<std::string> jumpTargets(std::string_view text);

// `line` (in lower case outside its literals) with other BASICs' INT, ABS, AND, OR and
// ON ... GOTO written as this one can: INT of a whole number is that number, the tests of a
// divisor (`n / d = int(n / d)`, `n - int(n / d) * d`) are a remainder, `y = abs(e)` sets y
// and turns its sign on a line after it, AND nests the IFs, an OR that jumps repeats the IF
// after ELSE, and ON ... GOTO is an IF for each value. What it cannot write stays as it was.
Rewritten rewriteFunctions(std::string line);

// How to write the FOR of `text` (in lower case) that counts with STEP, such as "count up by
// one: write 'for k = 0 to 9' and use '10 - k' where the loop used 'i'"; empty when its values
// are not plain numbers.
std::string stepAdvice(std::string_view text);

}  // namespace linebasic::check
