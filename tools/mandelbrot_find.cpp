// mandelbrot-find: the minibrot or Misiurewicz point nearest a point, for
// scripts.
//   mandelbrot-find minibrot|misiurewicz REAL IMAG RADIUS [--max-period N]
// prints "period=P real=… imag=… size=…" (with "preperiod=K" first for a
// Misiurewicz point) and, on a second line, the location that shows it as the
// renderer's arguments, which the renderer and the explorer's paste take.
// Exit 2 with one line on bad input, 1 with one line when nothing is found
// within the radius.

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "deep/deep_view.h"
#include "explore/exact_decimal.h"
#include "explore/find_and_go.h"
#include "message_text.h"

namespace {

// The picture's size in the location line.
constexpr int kPictureSize = 1000;
// The limit the location starts from (a minibrot's raises it above its period).
constexpr std::int64_t kStartLimit = 1000;

int usage(const std::string& why) {
    std::fprintf(stderr,
                 "mandelbrot-find: %s (usage: mandelbrot-find minibrot|misiurewicz REAL IMAG RADIUS "
                 "[--max-period N])\n",
                 mandel::tool::oneLine(why).c_str());
    return 2;
}

struct Request {
    mandel::FoundKind kind = mandel::FoundKind::Minibrot;
    std::string re, im, radius;
    std::int64_t maxPeriod = 0;  // 0: the searches' own
};

// The request, or the reason there is none.
std::string parse(int argc, char** argv, Request& request) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] != "--max-period") continue;
        if (i + 1 >= words.size()) return "--max-period needs a whole number";
        const std::string_view value = words[i + 1];
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), request.maxPeriod);
        if (error != std::errc() || end != value.data() + value.size() || request.maxPeriod < 1 ||
            request.maxPeriod > mandel::kMaxDeepLimit)
            return "--max-period needs a whole number from 1 to " + std::to_string(mandel::kMaxDeepLimit) + ", not " +
                   mandel::tool::quoted(value);
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(i), words.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        break;
    }
    if (words.size() != 4) return "expected 4 arguments, found " + std::to_string(words.size());
    if (words[0] == "misiurewicz")
        request.kind = mandel::FoundKind::Misiurewicz;
    else if (words[0] != "minibrot")
        return "the kind must be minibrot or misiurewicz, not " + mandel::tool::quoted(words[0]);
    const char* names[] = {"REAL", "IMAG", "RADIUS"};
    std::string* targets[] = {&request.re, &request.im, &request.radius};
    for (int i = 0; i < 3; ++i) {
        const std::string problem = mandel::decimalTextProblem(words[i + 1]);
        if (!problem.empty()) return std::string(names[i]) + " " + mandel::tool::quoted(words[i + 1]) + " " + problem;
        *targets[i] = std::string(words[i + 1]);
    }
    const auto radius = mandel::Decimal::parse(request.radius);
    if (!radius || radius->sign() <= 0) return "RADIUS " + mandel::tool::quoted(request.radius) + " must be > 0";
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    Request request;
    if (const std::string problem = parse(argc, argv, request); !problem.empty()) return usage(problem);
    try {
        const auto found = mandel::findAround(request.kind, request.re, request.im, request.radius, request.maxPeriod);
        const char* kind = request.kind == mandel::FoundKind::Minibrot ? "minibrot" : "Misiurewicz point";
        if (!found) {
            std::fprintf(stderr, "mandelbrot-find: no %s found within %s of the point\n", kind, request.radius.c_str());
            return 1;
        }
        mandel::ExploreLocation from;
        from.centreReal = *mandel::Decimal::parse(request.re);
        from.centreImag = *mandel::Decimal::parse(request.im);
        from.side = *mandel::Decimal::parse(request.radius) * mandel::Decimal(mandel::kSearchRadiusDivisor);
        from.limit = kStartLimit;
        const auto to = mandel::locationShowing(*found, from);
        if (found->kind == mandel::FoundKind::Misiurewicz)
            std::printf("preperiod=%lld ", static_cast<long long>(found->preperiod));
        std::printf("period=%lld real=%s imag=%s size=%s\n", static_cast<long long>(found->period), found->re.c_str(),
                    found->im.c_str(), mandel::sizeText(found->size).c_str());
        if (to) std::printf("%s\n", mandel::clipboardText(*to, kPictureSize, kPictureSize).c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mandelbrot-find: %s\n", mandel::tool::oneLine(error.what()).c_str());
        return 1;
    }
}
