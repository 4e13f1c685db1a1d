#pragma once

// The explorer's reading of location texts: typed in its location line,
// pasted, or read from a picture's text fields. Every text is measured
// before anything else is done with it, so that a pasted megabyte is refused
// at once; the reasons are Japanese and show at most a short, escaped part
// of the text at fault.

#include <QString>
#include <QStringView>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "deep/deep_view.h"
#include "deep/picture_location.h"
#include "explore/explore_location.h"

namespace mandel_ui {

// Characters of a bad text that a message shows at most.
inline constexpr int kShownCharacters = 40;

// The location line's fields, in their order on the line.
enum class LocationField { Real, Imag, Side, Limit };
inline constexpr std::size_t kLocationFields = 4;

// A field takes one character more than the longest decimal text, so that a
// longer text, pasted or typed, is refused for its length rather than cut
// into a shorter number.
inline constexpr int kFieldMaxLength = static_cast<int>(mandel::kMaxDecimalTextLength) + 1;

// The longest pasted line read: four decimal texts at their longest, with
// room for the options and spaces.
inline constexpr qsizetype kMaxPastedLength = 4 * static_cast<qsizetype>(mandel::kMaxDecimalTextLength) + 1000;

// Up to `characters` characters of a text for a message, "…" after a cut.
// Control characters and invisible format characters (direction marks and
// embeddings, zero-width characters, line separators) become visible
// escapes, \x1B or \u202E, so that nothing in a message is hidden or turns
// the line around.
QString escapedText(QStringView text, int characters);
// The same of UTF-8 bytes, of which only the first few hundred are looked at.
QString escapedText(std::string_view utf8, int characters);
// escapedText of kShownCharacters in quotes: "-0.74.3".
QString shownText(QStringView text);

// "12,000": thousands separated by commas.
QString groupedNumber(std::int64_t value);

// What the window says when memory ran out: "メモリが足りません".
QString outOfMemoryText();

// Why a decimal text is no decimal the program takes, in Japanese; "" when
// it is one. Its length is checked first.
QString decimalProblemText(QStringView text);

struct ExplorerReading {
    std::optional<mandel::ExploreLocation> location;
    int width = 0;  // a pasted line's --size WxH; otherwise 0
    int height = 0;
    QString problem;                          // one Japanese line when there is no location
    std::array<bool, kLocationFields> bad{};  // the fields whose own text is at fault
};

// The location line after Enter: the fields the user edited are read from
// their texts; the others keep the values of `current` exactly, whatever
// their texts show. The base stays that of current, below the limit.
ExplorerReading readLocationFields(const std::array<QString, kLocationFields>& texts,
                                   const std::array<bool, kLocationFields>& edited,
                                   const mandel::ExploreLocation& current);

// A pasted line: "--deep --size WxH [--base B] REAL_MIN IMAG_MIN SIDE LIMIT"
// (options in any order, each at most once; --size S for S × S) or
// "REAL_MIN IMAG_MIN SIDE LIMIT". A whole renderer command line is taken too:
// its program path, output files, settings and a trailing "# comment" are
// passed over.
ExplorerReading readPastedLine(const QString& line);

// Why a picture's location could not be read, in Japanese.
QString pictureProblemText(const mandel::PictureLocationRead& read);

}  // namespace mandel_ui
