// Fixes as people and tools read them: what a fix wrote, for a message, and Clang's parseable
// fix-it line, which editors apply.
#pragma once

#include <string>
#include <string_view>

#include "check/check.h"

namespace linebasic {

// "wrote 'print' over 5 bytes", "inserted '0 '", "removed 2 bytes".
std::string describeFix(const Fix& fix);

// fix-it:"FILE":{L:C-L:C}:"TEXT", Clang's form: the text line and byte column (from 1) where
// the bytes replaced start and where they end (just past them), in `text`, and the text
// written; the file name and the text escaped as C strings are.
std::string fixitLine(const Fix& fix, std::string_view text, std::string_view file);

}  // namespace linebasic
