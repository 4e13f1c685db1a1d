#include "render_options.h"

#include <charconv>
#include <vector>

namespace mandel::tool {

unsigned parseCount(std::string_view option, std::string_view text, unsigned max) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (!digitsOnly || ec != std::errc() || ptr != end || value < 1 || value > max)
        throw UsageError(std::string(option) + " needs a whole number from 1 to " + std::to_string(max) +
                         ", not \"" + std::string(text) + "\"");
    return value;
}

RenderOptions parseRenderOptions(std::span<const std::string_view> args) {
    RenderOptions options;
    std::vector<std::string_view> readouts;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            readouts.push_back(arg);
            continue;
        }
        auto value = [&]() -> std::string_view {
            if (i + 1 >= args.size()) throw UsageError(std::string(arg) + " needs a value");
            return args[++i];
        };
        if (arg == "--scalar")
            options.scalar = true;
        else if (arg == "--threads")
            options.threads = parseCount(arg, value(), kMaxThreads);
        else if (arg == "--repeat")
            options.repeat = parseCount(arg, value(), kMaxRepeat);
        else if (arg == "--bmp") {
            const std::string_view path = value();
            if (path.empty()) throw UsageError("--bmp needs a file name");
            options.bmpPath = std::string(path);
        } else
            throw UsageError("unknown option " + std::string(arg));
    }
    if (readouts.size() < 4)
        throw UsageError("expected REAL_MIN IMAG_MIN SIDE LIMIT, got " + std::to_string(readouts.size()) +
                         " of them");
    if (readouts.size() > 4) throw UsageError("unexpected argument \"" + std::string(readouts[4]) + "\"");

    options.realText = readouts[0];
    options.imagText = readouts[1];
    options.sideText = readouts[2];
    options.limitText = readouts[3];
    try {
        options.settings.load(options.realText, options.imagText, options.sideText, options.limitText, 500.0f);
    } catch (const std::exception& e) {  // ParseError, SettingsError
        throw UsageError(e.what());
    }
    if (!(options.settings.side > 0.0f))
        throw UsageError("side length " + options.sideText + " is not greater than 0");
    return options;
}

}  // namespace mandel::tool
