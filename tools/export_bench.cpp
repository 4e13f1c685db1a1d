// Benchmark of picture export: one region at one size, the computation alone
// against the whole export (computation, colouring, encoding and writing).
//
//   mandelbrot-export-bench [--repeat K] [--format png|bmp] [--png-level L]
//                           [--png-strategy rle|default] [--no-overlap] [--dir DIR]
//                           SIZE REAL_MIN IMAG_MIN SIDE LIMIT
//
// Runs the computation alone (in bands, nothing written) and the whole export
// K times in turns and prints one line of medians: size, compute ms, encode
// ms (processor time spent colouring, encoding and writing the rows, on a
// thread of its own beside the computation), total ms (the whole export, file committed),
// lane-iterations per second of the computation, peak RSS of the process and
// the file's size. The file is removed afterwards.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "drawing/draw_picture.h"
#include "drawing/row_blocks.h"
#include "files/picture_file.h"
#include "files/png_picture_writer.h"
#include "render_options.h"

namespace {

struct BenchOptions {
    unsigned repeat = 1;
    mandel::PictureFormat format = mandel::PictureFormat::Png;
    mandel::PngCompression compression;
    bool overlap = true;  // encode each band beside the computation of the next
    std::string dir = std::filesystem::temp_directory_path().string();
    std::vector<std::string> positional;
};

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(
        stderr,
        "mandelbrot-export-bench: %s\nusage: mandelbrot-export-bench [--repeat K] [--format png|bmp] "
        "[--png-level L] [--png-strategy rle|default] [--no-overlap] [--dir DIR] SIZE REAL_MIN IMAG_MIN SIDE LIMIT\n",
        problem.c_str());
    std::exit(2);
}

unsigned count(std::string_view option, std::string_view text, unsigned max) {
    try {
        return mandel::tool::parseCount(option, text, max);
    } catch (const mandel::tool::UsageError& e) {
        usage(e.what());
    }
}

BenchOptions parse(int argc, char** argv) {
    BenchOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--repeat" && hasValue)
            o.repeat = count(arg, argv[++i], 1000);
        else if (arg == "--format" && hasValue) {
            const std::string_view f = argv[++i];
            if (f != "png" && f != "bmp") usage("--format is png or bmp");
            o.format = f == "bmp" ? mandel::PictureFormat::Bmp : mandel::PictureFormat::Png;
        } else if (arg == "--png-level" && hasValue)
            o.compression.level = static_cast<int>(count(arg, argv[++i], 9));
        else if (arg == "--png-strategy" && hasValue)
            o.compression.runLengthOnly = std::string_view(argv[++i]) == "rle";
        else if (arg == "--no-overlap")
            o.overlap = false;
        else if (arg == "--dir" && hasValue)
            o.dir = argv[++i];
        else if (arg.starts_with("--"))
            usage("unknown option " + std::string(arg));
        else
            o.positional.emplace_back(arg);
    }
    if (o.positional.size() != 5) usage("expected SIZE REAL_MIN IMAG_MIN SIDE LIMIT");
    return o;
}

double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

std::unique_ptr<mandel::PictureSink> openFile(const BenchOptions& o, const std::string& path,
                                              const mandel::PictureFacts& facts) {
    if (o.format == mandel::PictureFormat::Png)
        return std::make_unique<mandel::PngPictureWriter>(path, facts.size, facts.size,
                                                          mandel::pictureTextFields(facts), o.compression);
    return mandel::openPictureFile(path, o.format, facts);
}

struct Measured {
    double computeMs, encodeMs, totalMs;
    long long iterations;
    std::uintmax_t fileBytes;
};

// The computation alone and the whole export, taken in turns so that a
// neighbour's load on the machine falls on both alike; medians of each.
Measured measure(const BenchOptions& o, const mandel::PictureScan& scan, const mandel::RegionTexts& region) {
    const std::string path = o.dir + "/mandelbrot-export-bench-" + std::to_string(scan.size) +
                             (o.format == mandel::PictureFormat::Png ? ".png" : ".bmp");
    std::vector<double> compute, encode, total;
    Measured m{};
    for (unsigned run = 0; run < o.repeat; ++run) {
        compute.push_back(mandel::tool::timeMs([&] {
            mandel::computeRowBlocks(scan.plan, scan.settings.cmax, {}, [](const mandel::RowBlock&) { return true; });
        }));
        mandel::DrawResult result;
        total.push_back(mandel::tool::timeMs([&] {
            const auto file = openFile(o, path, {region, scan.size});
            mandel::PictureSink* sinks[] = {file.get()};
            mandel::DrawOptions options;
            options.blocks.overlap = o.overlap;
            result = mandel::drawPicture(scan, sinks, options);
        }));
        encode.push_back(result.timing.consumeCpuMs);
        m.iterations = result.passIterations;
        m.fileBytes = std::filesystem::file_size(path);
        std::filesystem::remove(path);
    }
    m.computeMs = mandel::tool::median(compute);
    m.encodeMs = mandel::tool::median(encode);
    m.totalMs = mandel::tool::median(total);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    const BenchOptions o = parse(argc, argv);
    const int size = static_cast<int>(count("SIZE", o.positional[0], mandel::kMaxPictureSize));
    const mandel::RegionTexts region{o.positional[1], o.positional[2], o.positional[3], o.positional[4]};
    try {
        const mandel::PictureScan scan = mandel::planPictureScan(region, size, mandel::ScanExtent::Picture);
        const Measured m = measure(o, scan, region);
        std::printf(
            "size=%d compute_ms=%.1f encode_ms=%.1f total_ms=%.1f total_per_compute=%.2f "
            "giga_lane_iterations_per_s=%.2f peak_rss_mb=%.0f file_bytes=%llu\n",
            size, m.computeMs, m.encodeMs, m.totalMs, m.totalMs / m.computeMs,
            static_cast<double>(m.iterations) / (m.computeMs * 1e-3) / 1e9, peakRssMegabytes(),
            static_cast<unsigned long long>(m.fileBytes));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mandelbrot-export-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
