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

// text with its control characters escaped (\n, \r, \t, \xNN) and cut short
// after kMaxShownBytes (never inside a UTF-8 character), ending in "…" then.
std::string printable(std::string_view text);

// printable(text) in double quotes.
std::string quoted(std::string_view text);

// A whole message on one line: control characters escaped, at most
// kMaxMessageBytes kept.
std::string oneLine(std::string_view message);

}  // namespace mandel::tool
