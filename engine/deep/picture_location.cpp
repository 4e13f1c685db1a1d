#include "deep/picture_location.h"

#include <fcntl.h>
#include <png.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "deep/deep_picture_file.h"

namespace mandel {

namespace {

using Fields = std::map<std::string, std::string>;

constexpr std::size_t kPngSignatureBytes = 8;
constexpr std::size_t kLibpngErrorBytes = 200;  // room for libpng's message

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// What libpng said while reading: its error, whether it or a warning (a
// text chunk it had to skip) was for want of memory, and the system's error
// when the file itself could not be read.
struct LibpngMessages {
    char error[kLibpngErrorBytes] = "damaged PNG file";
    bool outOfMemory = false;
    int readError = 0;
    std::FILE* file = nullptr;
};

// libpng says "Out of memory", "insufficient memory" and the like.
bool mentionsMemory(png_const_charp message) {
    for (const char* at = message; *at != '\0'; ++at)
        if (::strncasecmp(at, "memory", 6) == 0) return true;
    return false;
}

LibpngMessages& messagesOf(png_structp png) { return *static_cast<LibpngMessages*>(png_get_error_ptr(png)); }

// libpng's error handler: keeps the message where the reader can see it.
extern "C" void keepLibpngError(png_structp png, png_const_charp message) {
    LibpngMessages& kept = messagesOf(png);
    std::snprintf(kept.error, kLibpngErrorBytes, "%s", message);
    kept.outOfMemory = kept.outOfMemory || mentionsMemory(message);
    png_longjmp(png, 1);
}

// Warnings only matter when a chunk was skipped for want of memory: its
// field would otherwise seem missing.
extern "C" void noteLibpngWarning(png_structp png, png_const_charp message) {
    LibpngMessages& kept = messagesOf(png);
    kept.outOfMemory = kept.outOfMemory || mentionsMemory(message);
}

// libpng's reads, keeping the system's error of a read that failed (an end
// of file is no error of the system: the PNG is cut short).
extern "C" void readFromFile(png_structp png, png_bytep data, png_size_t size) {
    LibpngMessages& kept = messagesOf(png);
    if (std::fread(data, 1, size, kept.file) == size) return;
    if (std::ferror(kept.file)) kept.readError = errno != 0 ? errno : EIO;
    png_error(png, "the file ends before the image data");
}

// The path for a one-line message: control characters shown as '?'.
std::string shownPath(const std::string& path) {
    std::string shown = path;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return shown;
}

// Why a file of this type, which is not a regular file, cannot be a picture.
std::string notAFileReason(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a picture file";
    if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a picture file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a picture file";
    if (S_ISSOCK(mode)) return "is a socket, not a picture file";
    return "is not a regular file";
}

// The path opened for reading, or the reason it cannot be: only a regular
// file is opened. The type is looked at before opening, so that a device is
// not even opened, and again on the open descriptor, which is opened without
// blocking: a FIFO put there in between cannot hang the reader waiting for a
// writer.
OpenFile openRegularFile(const std::string& path, std::string& problem) {
    struct stat status {};
    const auto refuse = [&](int error) {
        problem = "cannot open " + shownPath(path) + ": " + std::strerror(error);
        return OpenFile();
    };
    if (::stat(path.c_str(), &status) != 0) return refuse(errno);
    if (!S_ISREG(status.st_mode)) {
        problem = shownPath(path) + " " + notAFileReason(status.st_mode);
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return refuse(errno);
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        problem = shownPath(path) + " " + notAFileReason(status.st_mode);
        return nullptr;
    }
    // A regular file: reads may block again, as they always do for one.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        if (error == ENOMEM) throw std::bad_alloc();
        return refuse(error);
    }
    return OpenFile(file);
}

// Reads the chunks up to the image data. No object with a destructor may
// live in this frame: libpng returns to the setjmp on an error.
bool readPngInfo(png_structp png, png_infop info, LibpngMessages& messages) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &messages, readFromFile);
    png_set_sig_bytes(png, static_cast<int>(kPngSignatureBytes));
    png_read_info(png, info);
    return true;
}

// The image's size and text fields, or the reason they cannot be read.
struct PngInfo {
    PictureSize size;
    Fields fields;
    std::string problem;
    bool outOfMemory = false;
    int readError = 0;  // the system's, when the file could not be read
};

// A text chunk's text: libpng gives the length of an iTXt's (compressed or
// not) as itxt_length, and that of a tEXt's or zTXt's as text_length.
std::string chunkText(const png_text& chunk) {
    const bool international =
        chunk.compression == PNG_ITXT_COMPRESSION_NONE || chunk.compression == PNG_ITXT_COMPRESSION_zTXt;
    return std::string(chunk.text, international ? chunk.itxt_length : chunk.text_length);
}

PngInfo readInfoAndFields(std::FILE* file) {
    PngInfo result;
    LibpngMessages messages;
    messages.file = file;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &messages, keepLibpngError, noteLibpngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw std::bad_alloc();
    }
    if (readPngInfo(png, info, messages)) {
        result.size = {static_cast<int>(png_get_image_width(png, info)),
                       static_cast<int>(png_get_image_height(png, info))};
        png_textp text = nullptr;
        const int count = png_get_text(png, info, &text, nullptr);
        try {
            for (int i = 0; i < count; ++i) result.fields[text[i].key] = chunkText(text[i]);
        } catch (...) {
            png_destroy_read_struct(&png, &info, nullptr);
            throw;
        }
    } else {
        result.problem = messages.error;
    }
    result.outOfMemory = messages.outOfMemory;
    result.readError = messages.readError;
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
            fail(std::string("the field '") + keyword + "' is not a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max));
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
    if (hasBase && reader.problem().empty()) location.base = reader.whole(kBase, 0, location.view.location.limit - 1);
    if (const std::string* sizeText = reader.field(kSize)) {
        const std::optional<PictureSize> size = parsePictureSizeText(*sizeText);
        if (!size || size->width != png.size.width || size->height != png.size.height) {
            reader.fail("the field 'Size' (" + *sizeText + ") is not the image's size");
        } else {
            location.view.width = size->width;
            location.view.height = size->height;
        }
    }
    if (const std::string* colouring = png.fields.count(kColouringField) ? reader.field(kColouringField) : nullptr) {
        std::string problem;
        const std::optional<Colouring> read = parseColouringArguments(*colouring, problem);
        if (read)
            location.colouring = *read;
        else
            reader.fail("the field 'Colouring': " + problem);
    }
    if (reader.problem().empty()) reader.fail(deepViewProblem(location.view));
    if (!reader.problem().empty()) return {std::nullopt, reader.problem()};
    return {location, ""};
}

}  // namespace

namespace {

PictureLocationRead readFile(const std::string& path) {
    std::string problem;
    const OpenFile file = openRegularFile(path, problem);
    if (!file) return {std::nullopt, problem};
    unsigned char signature[kPngSignatureBytes] = {};
    const std::size_t got = std::fread(signature, 1, kPngSignatureBytes, file.get());
    if (got != kPngSignatureBytes && std::ferror(file.get()))
        return {std::nullopt, "cannot read " + shownPath(path) + ": " + std::strerror(errno)};
    if (got != kPngSignatureBytes || png_sig_cmp(signature, 0, kPngSignatureBytes) != 0)
        return {std::nullopt, "not a PNG file"};
    const PngInfo png = readInfoAndFields(file.get());
    if (png.outOfMemory) throw std::bad_alloc();
    if (png.readError != 0)
        return {std::nullopt, "cannot read " + shownPath(path) + ": " + std::strerror(png.readError)};
    if (!png.problem.empty()) return {std::nullopt, "damaged PNG file: " + png.problem};
    return locationOf(png);
}

}  // namespace

PictureLocationRead readPictureLocation(const std::string& path) {
    try {
        return readFile(path);
    } catch (const std::bad_alloc&) {
        PictureLocationRead read;
        read.outOfMemory = true;
        try {
            read.problem = "out of memory while reading " + shownPath(path);
        } catch (const std::bad_alloc&) {
            read.problem = "out of memory";  // short enough to need no allocation
        }
        return read;
    }
}

}  // namespace mandel
