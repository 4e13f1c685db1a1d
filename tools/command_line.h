#pragma once

// What both renderers' command lines share: the usage error, the split of
// the arguments into options and texts, whole-number options, the same-file
// check of outputs, and the delivery of text to standard output.

#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mandel::tool {

// A command line that cannot be run; what() is the one-line message.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Standard output did not take the result.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the drawing, its file or its output failed
inline constexpr int kExitUsage = 2;    // a bad command line, or a deep drawing above its memory budget

inline constexpr unsigned kMaxThreads = 1024;

// Applies the option args[i] (taking its value from args[i + 1], with i moved
// on); returns false when the option asks for help.
using OptionReader =
    std::function<bool(std::string_view option, std::span<const std::string_view> args, std::size_t& i)>;

// The texts of a command line, its options handed to `read` as they come:
// options anywhere before "--", after which every argument is a text; an
// argument starting with '-' and then anything but a digit or '.' is an
// option ("-0.3" is a text). Returns false when an option asked for help.
// Throws UsageError for a lone "-".
bool splitArguments(std::span<const std::string_view> args, const OptionReader& read,
                    std::vector<std::string_view>& texts);

// Exactly REAL_MIN IMAG_MIN SIDE LIMIT, or UsageError.
void requireFourTexts(const std::vector<std::string_view>& texts);

// A count given to option: a whole number from 1 to max, digits only.
// Throws UsageError naming the option otherwise.
unsigned parseCount(std::string_view option, std::string_view text, unsigned max);

// Whether an argument is an option: '-' and then anything but a digit or '.'
// ("-0.3" and "-.5" are read-out texts, "-x" and "--threads" options).
bool isOption(std::string_view arg);

// Whether two paths name one file: as given, as the files the writer would
// write (symbolic links followed, dangling ones included), or the same inode.
bool namesSameFile(const std::string& a, const std::string& b);

// Writes text to out and flushes it; throws OutputError when it is not delivered.
void deliver(std::ostream& out, const std::string& text);

}  // namespace mandel::tool
