// Buffered text output for the files the program writes: every line feed
// put is written as CR LF (the files are text files with DOS line ends; the
// command line's standard output keeps plain line feeds), and numbers are
// written without the C library's locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace trakvio {

// Collects text in a buffer and, when given a file, writes it out a megabyte
// at a time. Every '\n' put is written as "\r\n" unless plain line feeds
// are asked for. Without a file the whole text stays in text().
class TextOutput {
  public:
    enum class LineEnds { kCrLf, kLf };
    explicit TextOutput(LineEnds lineEnds = LineEnds::kCrLf) : crlf_(lineEnds == LineEnds::kCrLf) {}
    ~TextOutput();
    TextOutput(const TextOutput&) = delete;
    TextOutput& operator=(const TextOutput&) = delete;

    // Creates (or truncates) the file. Returns 0, or the errno of the failure.
    int Create(const std::filesystem::path& path);
    // Writes into a file the caller opened and keeps open; Close flushes it.
    void Attach(std::FILE* file);

    void Put(std::string_view text);
    void Put(char c);
    // value with exactly `decimals` decimals, as "%.*f" prints it.
    void PutFixed(double value, int decimals);
    void PutInteger(int64_t value) {
        char digits[24];
        buffer_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    // At least two digits, as "%02d".
    void PutTwoDigits(int64_t value);
    // Six upper-case hexadecimal digits, as "%06X" of a 24-bit value.
    void PutHex6(uint32_t value);

    // What is buffered; a writer may append to it directly (no line feeds)
    // and then call SpillWhenFull.
    std::string& text() { return buffer_; }
    void SpillWhenFull() {
        if (file_ && buffer_.size() >= kSpillSize) Spill();
    }

    // Writes what is buffered and closes (or, when attached, flushes) the
    // file. Returns 0 when everything reached the file, else an errno value.
    // Without a file it returns 0.
    int Close();

  private:
    static constexpr size_t kSpillSize = size_t{1} << 20;
    void Spill();

    std::FILE* file_ = nullptr;
    bool owned_ = false;  // Create opened file_, so Close closes it
    bool crlf_ = true;
    std::string buffer_;
    int error_ = 0;
};

}  // namespace trakvio
