// The BASIC program the linebasic executable runs.
#pragma once

namespace linebasic {

// Ten lines, each padded with spaces to 27 characters (the two lines holding a string to 25)
// and ended by a line-feed: 276 characters in all. It prints "subroutine", the running sums
// 1, 3, 6, ... 55 and "end".
inline constexpr char kDemoProgram[] =
    "10  gosub 100              \n"
    "15  x = 0                  \n"
    "20  for i = 1 to 10        \n"
    "30     x=x+i               \n"
    "35     print x             \n"
    "40  next i                 \n"
    "50  print \"end\"          \n"
    "60  end                    \n"
    "100 print \"subroutine\"   \n"
    "110 return                 \n";

}  // namespace linebasic
