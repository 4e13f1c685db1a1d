#include "message_text.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace mandel::tool {

namespace {

// Bytes kept from the start of a long text; the rest of the room goes to its end.
constexpr std::size_t kShownHeadBytes = kMaxShownBytes / 4;

unsigned char byteAt(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// Length of the well-formed UTF-8 character at text[i] (no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when there is none.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const unsigned char lead = byteAt(text, i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byteAt(text, i + 1) < low || byteAt(text, i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byteAt(text, i + k) & 0xc0) != 0x80) return 0;
    return length;
}

void appendHex(std::string& out, const char* format, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, format, value);
    out += hex;
}

// Appends text with every control character (C0, DEL, C1) and every byte
// that is not part of well-formed UTF-8 escaped.
void appendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char byte = byteAt(text, i);
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            appendHex(out, "\\x%02x", byte);
            ++i;
        } else if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (byte < 0x20 || byte == 0x7f) {
            appendHex(out, "\\x%02x", byte);
            ++i;
        } else if (byte == 0xc2 && byteAt(text, i + 1) < 0xa0) {  // U+0080..U+009F
            appendHex(out, "\\u%04x", byteAt(text, i + 1));
            i += 2;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
}

bool isUtf8Continuation(std::string_view text, std::size_t i) {
    return i < text.size() && (byteAt(text, i) & 0xc0) == 0x80;
}

// At most about maxBytes of text, escaped: a longer text keeps its start and
// its end (a path's whole file name, where it fits a name) around "…".
std::string shortenedInTheMiddle(std::string_view text, std::size_t maxBytes) {
    std::string out;
    if (text.size() <= maxBytes) {
        appendEscaped(out, text);
        return out;
    }
    const std::size_t slash = text.rfind('/');
    const std::size_t nameBytes = slash == std::string_view::npos ? text.size() : text.size() - slash - 1;
    const std::size_t head = std::min(kShownHeadBytes, maxBytes);
    std::size_t tail = maxBytes - head;
    if (nameBytes <= NAME_MAX) tail = std::max(tail, nameBytes);
    if (head + tail >= text.size()) {
        appendEscaped(out, text);
        return out;
    }
    std::size_t headEnd = head;
    while (headEnd > 0 && isUtf8Continuation(text, headEnd)) --headEnd;
    std::size_t tailStart = text.size() - tail;
    while (tailStart < text.size() && isUtf8Continuation(text, tailStart)) ++tailStart;
    appendEscaped(out, text.substr(0, headEnd));
    out += "…";
    appendEscaped(out, text.substr(tailStart));
    return out;
}

}  // namespace

std::string printable(std::string_view text) { return shortenedInTheMiddle(text, kMaxShownBytes); }

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += printable(text);
    out += '"';
    return out;
}

std::string oneLine(std::string_view message) {
    std::size_t kept = std::min(message.size(), kMaxMessageBytes);
    while (kept > 0 && isUtf8Continuation(message, kept)) --kept;
    std::string out;
    appendEscaped(out, message.substr(0, kept));
    if (kept < message.size()) out += "…";
    return out;
}

}  // namespace mandel::tool
