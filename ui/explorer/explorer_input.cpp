#include "explorer_input.h"

#include <QByteArray>
#include <QLocale>
#include <algorithm>
#include <string>
#include <vector>

namespace mandel_ui {

namespace {

const QString kFieldNames[kLocationFields] = {QStringLiteral("実部"), QStringLiteral("虚部"), QStringLiteral("幅"),
                                              QStringLiteral("上限")};
// A pasted line's values are the corner, the side and the limit.
const QString kLineNames[kLocationFields] = {QStringLiteral("実部の最小値"), QStringLiteral("虚部の最小値"),
                                             QStringLiteral("幅"), QStringLiteral("上限")};

std::size_t index(LocationField field) { return static_cast<std::size_t>(field); }

// Characters a message must not show as they are: they are invisible, move
// the cursor, or turn the text's direction.
bool needsEscape(char32_t c) {
    if (c == U'\\') return true;  // so that an escape in the text cannot pass for one of ours
    switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph: return true;
        default: return false;
    }
}

QString escape(char32_t c) {
    if (c == U'\\') return QStringLiteral("\\\\");
    const auto hex = [c](int digits) {
        return QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    };
    if (c < 0x100) return QStringLiteral("\\x") + hex(2);
    if (c < 0x10000) return QStringLiteral("\\u") + hex(4);
    return QStringLiteral("\\U") + hex(8);
}

// The engine's reason for a bad decimal text in Japanese, or nothing for a
// reason it does not know.
std::optional<QString> japaneseDecimalReason(std::string_view english) {
    if (english == "is empty") return QStringLiteral("空です");
    if (english == "has no digits in its exponent") return QStringLiteral("指数に数字がありません");
    if (english == "has no digits") return QStringLiteral("数字がありません");
    if (english == "is not a decimal number") return QStringLiteral("小数の形ではありません");
    if (english.starts_with("has an exponent beyond"))
        return QStringLiteral("指数が ±%1 を超えています").arg(mandel::kMaxDecimalExponent);
    if (english.starts_with("has a magnitude beyond"))
        return QStringLiteral("大きさが 1e±%1 を超えています").arg(mandel::kMaxDecimalExponent);
    if (english.starts_with("is longer than"))
        return QStringLiteral("%1 文字を超えています").arg(groupedNumber(mandel::kMaxDecimalTextLength));
    return std::nullopt;
}

// A limit text: digits only, 1 .. kMaxDeepLimit.
std::optional<std::int64_t> limitValue(QStringView text) {
    constexpr qsizetype kMaxLimitDigits = 10;
    if (text.isEmpty() || text.size() > kMaxLimitDigits) return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > mandel::kMaxDeepLimit) return std::nullopt;
    return value;
}

QString limitProblem() { return QStringLiteral("1 から %1 までの整数にしてください").arg(mandel::kMaxDeepLimit); }
QString sideProblem() { return QStringLiteral("0 より大きい数にしてください"); }

// "WxH", or "S" for S × S as the renderer takes it, each in
// kMinPictureSize .. kMaxPictureSize.
bool sizeValue(QStringView text, int& width, int& height) {
    const qsizetype x = text.indexOf(QLatin1Char('x'));
    const auto edge = [](QStringView digits, int& out) {
        const std::optional<std::int64_t> value = limitValue(digits);
        if (!value || *value < mandel::kMinPictureSize || *value > mandel::kMaxPictureSize) return false;
        out = static_cast<int>(*value);
        return true;
    };
    if (x < 0) return edge(text, width) && edge(text, height);
    return edge(text.first(x), width) && edge(text.sliced(x + 1), height);
}

// The words of a line between spaces, tabs and line ends, as the renderer's
// arguments are taken apart.
std::vector<QStringView> words(QStringView line) {
    const auto space = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
    };
    std::vector<QStringView> found;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && space(line[i])) ++i;
        const qsizetype start = i;
        while (i < line.size() && !space(line[i])) ++i;
        if (i > start) found.push_back(line.sliced(start, i - start));
    }
    return found;
}

// The words of a renderer's command line that say nothing about the
// location: the program's path, its output files and settings, and a shell
// comment after "#", as the README writes such lines.
std::vector<QStringView> locationWords(const std::vector<QStringView>& all) {
    // The colouring's options are read apart (colour_menu.h).
    static const QStringView kWithValue[] = {
        u"--png",    u"--bmp",       u"--counts",  u"--flags",   u"--threads", u"--max-bits",      u"--max-memory",
        u"--smooth", u"--colouring", u"--palette", u"--density", u"--offset",  u"--density-scale", u"--supersample"};
    std::vector<QStringView> kept;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const QStringView word = all[i];
        if (word.startsWith(u'#')) break;
        if (i == 0 && word.endsWith(u"mandelbrot-render")) continue;
        if (word == u"--scalar") continue;
        if (std::find(std::begin(kWithValue), std::end(kWithValue), word) != std::end(kWithValue)) {
            ++i;
            continue;
        }
        kept.push_back(word);
    }
    return kept;
}

std::optional<mandel::Decimal> decimalValue(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return mandel::Decimal::parse(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

ExplorerReading failure(const QString& problem) {
    ExplorerReading reading;
    reading.problem = problem;
    return reading;
}

// The reason before the text, so that a status line too narrow for both
// still shows the reason.
QString namedProblem(const QString& name, QStringView text, const QString& why) {
    return name + QStringLiteral(": ") + why + QLatin1Char(' ') + shownText(text);
}

}  // namespace

QString escapedText(QStringView text, int characters) {
    QString out;
    qsizetype i = 0;
    for (int shown = 0; i < text.size() && shown < characters; ++shown) {
        char32_t c = text[i].unicode();
        qsizetype width = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            width = 2;
        }
        if (needsEscape(c))
            out += escape(c);
        else
            out += text.sliced(i, width);
        i += width;
    }
    if (i < text.size()) out += QStringLiteral("…");
    return out;
}

QString escapedText(std::string_view utf8, int characters) {
    // A character takes at most 4 bytes: these hold one more than are shown,
    // so that a longer text still ends in "…".
    const std::size_t bytes = std::min(utf8.size(), static_cast<std::size_t>(characters + 1) * 4);
    return escapedText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(bytes)), characters);
}

QString shownText(QStringView text) {
    return QLatin1Char('"') + escapedText(text, kShownCharacters) + QLatin1Char('"');
}

QString groupedNumber(std::int64_t value) { return QLocale(QLocale::English).toString(static_cast<qlonglong>(value)); }

QString outOfMemoryText() { return QStringLiteral("メモリが足りません"); }

QString decimalProblemText(QStringView text) {
    // The length first: nothing of a longer text is looked at.
    if (text.size() > static_cast<qsizetype>(mandel::kMaxDecimalTextLength))
        return QStringLiteral("%1 文字を超えています（%2 文字）")
            .arg(groupedNumber(mandel::kMaxDecimalTextLength), groupedNumber(text.size()));
    const QByteArray utf8 = text.toUtf8();
    const std::string why =
        mandel::decimalTextProblem(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (why.empty()) return {};
    return japaneseDecimalReason(why).value_or(QStringLiteral("小数として読めません"));
}

ExplorerReading readLocationFields(const std::array<QString, kLocationFields>& texts,
                                   const std::array<bool, kLocationFields>& edited,
                                   const mandel::ExploreLocation& current) {
    ExplorerReading reading;
    mandel::ExploreLocation location = current;
    const auto refuse = [&reading](LocationField field, QStringView text, const QString& why) {
        reading.bad[index(field)] = true;
        if (reading.problem.isEmpty()) reading.problem = namedProblem(kFieldNames[index(field)], text, why);
    };
    const std::pair<LocationField, mandel::Decimal*> decimals[] = {{LocationField::Real, &location.centreReal},
                                                                   {LocationField::Imag, &location.centreImag},
                                                                   {LocationField::Side, &location.side}};
    for (const auto& [field, value] : decimals) {
        if (!edited[index(field)]) continue;
        const QString text = texts[index(field)].trimmed();
        const QString why = decimalProblemText(text);
        if (!why.isEmpty()) {
            refuse(field, text, why);
        } else if (const auto parsed = decimalValue(text)) {
            *value = *parsed;
            if (field == LocationField::Side && value->sign() <= 0) refuse(field, text, sideProblem());
        } else {
            refuse(field, text, QStringLiteral("小数として読めません"));
        }
    }
    if (edited[index(LocationField::Limit)]) {
        const QString text = texts[index(LocationField::Limit)].trimmed();
        if (const auto limit = limitValue(text))
            location.limit = *limit;
        else
            refuse(LocationField::Limit, text, limitProblem());
    }
    if (!reading.problem.isEmpty()) return reading;
    location.base = std::clamp<std::int64_t>(current.base, 0, location.limit - 1);
    reading.location = location;
    return reading;
}

ExplorerReading readPastedLine(const QString& line) {
    if (line.size() > kMaxPastedLength)
        return failure(QStringLiteral("長すぎます（%1 文字、最長 %2 文字）")
                           .arg(groupedNumber(line.size()), groupedNumber(kMaxPastedLength)));
    const std::vector<QStringView> all = locationWords(words(line));
    std::vector<QStringView> values;
    bool deep = false, sized = false, based = false;
    int width = 0, height = 0;
    std::int64_t base = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const QStringView word = all[i];
        const bool hasValue = i + 1 < all.size();
        if (word == u"--deep" && !deep) {
            deep = true;
        } else if (word == u"--size" && !sized) {
            if (!hasValue || !sizeValue(all[++i], width, height))
                return failure(QStringLiteral("--size には S か WxH（それぞれ %1～%2）が要ります")
                                   .arg(mandel::kMinPictureSize)
                                   .arg(mandel::kMaxPictureSize));
            sized = true;
        } else if (word == u"--base" && !based) {
            const auto value = hasValue ? limitValue(all[++i]) : std::nullopt;
            if (!value)
                return failure(QStringLiteral("--base には 1 から %1 までの整数が要ります").arg(mandel::kMaxDeepLimit));
            base = *value;
            based = true;
        } else if (word.size() > 2 && word.startsWith(u"--")) {
            return failure(QStringLiteral("知らないか 2 度目のオプションです: ") + shownText(word));
        } else {
            values.push_back(word);
        }
    }
    if (values.size() != kLocationFields)
        return failure(
            QStringLiteral("REAL_MIN IMAG_MIN SIDE LIMIT の 4 つの値が要ります（%1 個あります）").arg(values.size()));
    for (std::size_t i = 0; i < 3; ++i)
        if (const QString why = decimalProblemText(values[i]); !why.isEmpty())
            return failure(namedProblem(kLineNames[i], values[i], why));
    if (const auto side = decimalValue(values[2]); !side || side->sign() <= 0)
        return failure(namedProblem(kLineNames[2], values[2], sideProblem()));
    const auto limit = limitValue(values[3]);
    if (!limit) return failure(namedProblem(kLineNames[3], values[3], limitProblem()));
    if (base >= *limit)
        return failure(QStringLiteral("--base %1 は上限 %2 より小さくしてください").arg(base).arg(*limit));
    QString kept;
    for (const QStringView word : all) {
        kept += word;
        kept += QLatin1Char(' ');
    }
    const mandel::LocationReading parsed = mandel::parseLocationLine(kept.toStdString());
    if (!parsed.ok)
        return failure(QStringLiteral("読めません（%1）").arg(escapedText(parsed.problem, 3 * kShownCharacters)));
    ExplorerReading reading;
    reading.location = parsed.location;
    reading.width = parsed.width;
    reading.height = parsed.height;
    return reading;
}

QString pictureProblemText(const mandel::PictureLocationRead& read) {
    if (read.outOfMemory) return outOfMemoryText();
    const std::string_view english = read.problem;
    constexpr std::string_view kField = "the field '";
    if (english.starts_with(kField)) {
        const std::size_t close = english.find('\'', kField.size());
        if (close != std::string_view::npos) {
            const QString name =
                QStringLiteral("フィールド「%1」")
                    .arg(escapedText(english.substr(kField.size(), close - kField.size()), kShownCharacters));
            std::string_view rest = english.substr(close + 1);
            if (rest.starts_with(' ')) rest.remove_prefix(1);
            if (rest == "is missing") return name + QStringLiteral("がありません");
            if (rest.starts_with("is not a whole number")) return name + QStringLiteral("が範囲内の整数ではありません");
            if (rest.ends_with("is not the image's size")) return name + QStringLiteral("が画像の大きさと合いません");
            if (const auto why = japaneseDecimalReason(rest)) return name + QStringLiteral(": ") + *why;
        }
    }
    if (english == "not a PNG file") return QStringLiteral("PNG ファイルではありません");
    if (english.starts_with("not a picture of this program"))
        return QStringLiteral("このプログラムが書いた画像ではありません");
    if (english.starts_with("damaged PNG file")) return QStringLiteral("PNG ファイルが壊れています");
    return QStringLiteral("読めません（%1）").arg(escapedText(english, 3 * kShownCharacters));
}

}  // namespace mandel_ui
