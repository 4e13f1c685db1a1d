#include "message_text.h"

#include <cstdio>

namespace mandel::tool {

namespace {

void appendEscaped(std::string& out, char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
        out += c;
        return;
    }
    if (c == '\n') {
        out += "\\n";
    } else if (c == '\r') {
        out += "\\r";
    } else if (c == '\t') {
        out += "\\t";
    } else {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", byte);
        out += hex;
    }
}

bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

std::string escapedAndShortened(std::string_view text, std::size_t maxBytes) {
    std::size_t kept = text.size();
    if (kept > maxBytes) {
        kept = maxBytes;
        while (kept > 0 && isUtf8Continuation(text[kept])) --kept;
    }
    std::string out;
    out.reserve(kept + 8);
    for (const char c : text.substr(0, kept)) appendEscaped(out, c);
    if (kept < text.size()) out += "…";
    return out;
}

}  // namespace

std::string printable(std::string_view text) { return escapedAndShortened(text, kMaxShownBytes); }

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += printable(text);
    out += '"';
    return out;
}

std::string oneLine(std::string_view message) { return escapedAndShortened(message, kMaxMessageBytes); }

}  // namespace mandel::tool
