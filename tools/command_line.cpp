#include "command_line.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "files/safe_file.h"
#include "message_text.h"

namespace mandel::tool {

bool splitArguments(std::span<const std::string_view> args, const OptionReader& read,
                    std::vector<std::string_view>& texts) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!optionsEnded && args[i] == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && args[i] == "-") {
            throw UsageError("stray \"-\": neither an option nor a number");
        } else if (optionsEnded || !isOption(args[i])) {
            texts.push_back(args[i]);
        } else if (!read(args[i], args, i)) {
            return false;
        }
    }
    return true;
}

void requireFourTexts(const std::vector<std::string_view>& texts) {
    if (texts.size() < 4)
        throw UsageError("expected REAL_MIN IMAG_MIN SIDE LIMIT, got " + std::to_string(texts.size()) +
                         " of them (-h shows the usage)");
    if (texts.size() > 4) throw UsageError("unexpected argument " + quoted(texts[4]));
}

bool isOption(std::string_view arg) {
    return arg.size() >= 2 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9') && arg[1] != '.';
}

bool namesSameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    if (a == b) return true;
    // Where the writer puts each file: links followed, dangling ones too, so
    // that two links to one file not yet there are one output.
    const std::string targetA = writtenPath(a);
    const std::string targetB = writtenPath(b);
    std::error_code errorA, errorB, errorSame;
    const fs::path first = fs::weakly_canonical(fs::absolute(targetA, errorA), errorA);
    const fs::path second = fs::weakly_canonical(fs::absolute(targetB, errorB), errorB);
    return targetA == targetB || (!errorA && !errorB && first == second) || fs::equivalent(a, b, errorSame);
}

unsigned parseCount(std::string_view option, std::string_view text, unsigned max) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (!digitsOnly || ec != std::errc() || ptr != end || value < 1 || value > max)
        throw UsageError(std::string(option) + " needs a whole number from 1 to " + std::to_string(max) + ", not " +
                         quoted(text));
    return value;
}

void deliver(std::ostream& out, const std::string& text) {
    errno = 0;
    out << text;
    out.flush();
    if (out) return;
    const int error = errno;
    throw OutputError("cannot write to standard output: " +
                      (error != 0 ? std::error_code(error, std::generic_category()).message() : "write failed"));
}

}  // namespace mandel::tool
