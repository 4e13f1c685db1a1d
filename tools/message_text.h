#pragma once

// Texts from the command line or the system, made fit for a one-line message.

#include <cstddef>
#include <string>
#include <string_view>

namespace mandel::tool {

// Bytes of a text shown before it is cut short with "…".
inline constexpr std::size_t kMaxShownBytes = 80;
// Bytes of a whole message line before it is cut short.
inline constexpr std::size_t kMaxMessageBytes = 400;

// text with its control characters (C0 and DEL as \n, \r, \t, \xNN; C1 as
// \u0080..\u009f) and every byte outside well-formed UTF-8 (\xNN) escaped.
// A text longer than kMaxShownBytes is shortened in the middle, never inside
// a UTF-8 character, keeping its start and its end ("/home/us…/picture.png"):
// for a path, its whole file name.
std::string printable(std::string_view text);

// printable(text) in double quotes.
std::string quoted(std::string_view text);

// A whole message on one line: escaped as printable(), at most
// kMaxMessageBytes kept, ending in "…" when cut.
std::string oneLine(std::string_view message);

}  // namespace mandel::tool
