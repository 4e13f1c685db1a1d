#include "deep/picture_location.h"

#include <png.h>

#include <cerrno>
#include <charconv>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "deep/deep_picture_file.h"

namespace mandel {

namespace {

using Fields = std::map<std::string, std::string>;

constexpr std::size_t kPngSignatureBytes = 8;
constexpr std::size_t kLibpngErrorBytes = 200;  // room for libpng's message

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng's error handler: keeps the message where the reader can see it.
extern "C" void keepLibpngError(png_structp png, png_const_charp message) {
    auto* kept = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(kept, kLibpngErrorBytes, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void ignoreWarning(png_structp, png_const_charp) {}

// Reads the chunks up to the image data. No object with a destructor may
// live in this frame: libpng returns to the setjmp on an error.
bool readPngInfo(png_structp png, png_infop info, std::FILE* file) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, static_cast<int>(kPngSignatureBytes));
    png_read_info(png, info);
    return true;
}

// The image's size and text fields, or the reason they cannot be read.
struct PngInfo {
    PictureSize size;
    Fields fields;
    std::string problem;
};

PngInfo readInfoAndFields(std::FILE* file) {
    PngInfo result;
    char libpngError[kLibpngErrorBytes] = "damaged PNG file";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, libpngError, keepLibpngError, ignoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw std::bad_alloc();
    }
    if (readPngInfo(png, info, file)) {
        result.size = {static_cast<int>(png_get_image_width(png, info)),
                       static_cast<int>(png_get_image_height(png, info))};
        png_textp text = nullptr;
        const int count = png_get_text(png, info, &text, nullptr);
        for (int i = 0; i < count; ++i) result.fields[text[i].key] = std::string(text[i].text, text[i].text_length);
    } else {
        result.problem = libpngError;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

// A whole number of digits only, in min..max.
std::optional<std::int64_t> wholeNumber(const std::string& text, std::int64_t min, std::int64_t max) {
    std::int64_t value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
    return value;
}

// Turns the fields into a location; sets problem instead when one is missing or wrong.
class FieldReader {
public:
    explicit FieldReader(const Fields& fields) : fields_(fields) {}

    const std::string* field(const char* keyword) {
        const auto found = fields_.find(keyword);
        if (found != fields_.end()) return &found->second;
        fail(std::string("the field '") + keyword + "' is missing");
        return nullptr;
    }

    std::string decimal(const char* keyword) {
        const std::string* text = field(keyword);
        if (text == nullptr) return {};
        const std::string problem = decimalTextProblem(*text);
        if (!problem.empty()) fail(std::string("the field '") + keyword + "' " + problem);
        return *text;
    }

    std::int64_t whole(const char* keyword, std::int64_t min, std::int64_t max) {
        const std::string* text = field(keyword);
        if (text == nullptr) return 0;
        const std::optional<std::int64_t> value = wholeNumber(*text, min, max);
        if (!value)
            fail(std::string("the field '") + keyword + "' is not a whole number from " + std::to_string(min) +
                 " to " + std::to_string(max));
        return value.value_or(0);
    }

    void fail(std::string problem) {
        if (problem_.empty()) problem_ = std::move(problem);
    }
    const std::string& problem() const { return problem_; }

private:
    const Fields& fields_;
    std::string problem_;
};

// Which arithmetic drew the picture; problem set for an unknown one.
bool readArithmetic(const Fields& fields, FieldReader& reader) {
    const auto found = fields.find(picture_text::kArithmetic);
    if (found == fields.end() || found->second == picture_text::kSinglePrecision) return false;
    if (found->second == picture_text::kDeep) return true;
    reader.fail("unknown arithmetic '" + found->second + "'");
    return false;
}

PictureLocationRead locationOf(const PngInfo& png) {
    using namespace picture_text;
    const auto software = png.fields.find(kSoftware);
    const std::string ours = std::string(kProgramName) + " ";
    if (software == png.fields.end() || software->second.compare(0, ours.size(), ours) != 0)
        return {std::nullopt, "not a picture of this program (its Software field does not name it)"};
    FieldReader reader(png.fields);
    PictureLocation location;
    location.deep = readArithmetic(png.fields, reader);
    location.view.location.realMin = reader.decimal(kRealMin);
    location.view.location.imagMin = reader.decimal(kImagMin);
    location.view.location.side = reader.decimal(kSide);
    location.view.location.limit = reader.whole(kLimit, 1, kMaxDeepLimit);
    const bool hasBase = location.deep || png.fields.count(kBase) != 0;
    if (hasBase && reader.problem().empty())
        location.base = reader.whole(kBase, 0, location.view.location.limit - 1);
    if (const std::string* sizeText = reader.field(kSize)) {
        const std::optional<PictureSize> size = parsePictureSizeText(*sizeText);
        if (!size || size->width != png.size.width || size->height != png.size.height) {
            reader.fail("the field 'Size' (" + *sizeText + ") is not the image's size");
        } else {
            location.view.width = size->width;
            location.view.height = size->height;
        }
    }
    if (reader.problem().empty()) reader.fail(deepViewProblem(location.view));
    if (!reader.problem().empty()) return {std::nullopt, reader.problem()};
    return {location, ""};
}

}  // namespace

PictureLocationRead readPictureLocation(const std::string& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {std::nullopt, std::strerror(errno)};
    unsigned char signature[kPngSignatureBytes] = {};
    if (std::fread(signature, 1, kPngSignatureBytes, file.get()) != kPngSignatureBytes ||
        png_sig_cmp(signature, 0, kPngSignatureBytes) != 0)
        return {std::nullopt, "not a PNG file"};
    const PngInfo png = readInfoAndFields(file.get());
    if (!png.problem.empty()) return {std::nullopt, "damaged PNG file: " + png.problem};
    return locationOf(png);
}

}  // namespace mandel
