// Text bound for a terminal. A file name may hold bytes a terminal takes for commands: ESC opens
// a sequence that sets the window's title, moves the cursor or makes some terminals answer back,
// and a C1 control (U+0080 to U+009F, or its lone byte on an 8-bit terminal) does the same in
// one character. Only what goes to a terminal is made safe: a pipe or a file gets the bytes as
// they are, since a script needs the real name.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace varnook {

// `text` with every control character (C0, DEL, C1) and every byte that is no part of
// well-formed UTF-8 shown as "?"; the rest as it was, so the result is well-formed UTF-8.
std::string TerminalSafe(std::string_view text);

// True when `stream` is a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace varnook
