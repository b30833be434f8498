#include "platform/text_output.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "platform/ascii_text.h"

namespace trakvio {

TextOutput::~TextOutput() {
    if (file_ && owned_) std::fclose(file_);
}

int TextOutput::Create(const std::filesystem::path& path) {
    if (file_ && owned_) std::fclose(file_);
    buffer_.clear();
    error_ = 0;
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    owned_ = file_ != nullptr;
    if (!file_) return errno != 0 ? errno : EIO;
    buffer_.reserve(kSpillSize + 4096);
    return 0;
}

void TextOutput::Attach(std::FILE* file) {
    if (file_ && owned_) std::fclose(file_);
    buffer_.clear();
    error_ = 0;
    file_ = file;
    owned_ = false;
    buffer_.reserve(kSpillSize + 4096);
}

void TextOutput::Spill() {
    if (buffer_.empty()) return;
    if (error_ == 0) {
        errno = 0;
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) error_ = errno != 0 ? errno : EIO;
    }
    buffer_.clear();
}

void TextOutput::Put(std::string_view text) {
    if (!crlf_) {
        buffer_.append(text);
        text = {};
    }
    while (!text.empty()) {
        const void* found = std::memchr(text.data(), '\n', text.size());
        if (!found) {
            buffer_.append(text);
            break;
        }
        const size_t n = static_cast<size_t>(static_cast<const char*>(found) - text.data());
        buffer_.append(text.data(), n);
        buffer_.append("\r\n", 2);
        text.remove_prefix(n + 1);
    }
    SpillWhenFull();
}

void TextOutput::Put(char c) {
    if (c == '\n' && crlf_) buffer_.push_back('\r');
    buffer_.push_back(c);
    SpillWhenFull();
}

void TextOutput::PutFixed(double value, int decimals) {
    // No reader stores a value that is not finite; "inf" or "nan" would break
    // every format written here all the same.
    if (!std::isfinite(value)) value = 0;
    // Room for the largest double in fixed notation with its decimals.
    char digits[400];
    auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) {
        Put('0');
        return;
    }
    buffer_.append(digits, static_cast<size_t>(result.ptr - digits));
    SpillWhenFull();
}

void TextOutput::PutTwoDigits(int64_t value) {
    if (value >= 0 && value < 10) buffer_.push_back('0');
    PutInteger(value);
}

void TextOutput::PutHex6(uint32_t value) {
    char digits[8];
    int n = 0;
    // "%06X" prints more digits when the value needs them.
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xF;
        if (n > 0 || digit != 0 || shift < 24) digits[n++] = HexDigit(digit);
    }
    buffer_.append(digits, static_cast<size_t>(n));
}

int TextOutput::Close() {
    if (!file_) return error_;
    Spill();
    errno = 0;
    const int result = owned_ ? std::fclose(file_) : std::fflush(file_);
    if (result != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    owned_ = false;
    return error_;
}

}  // namespace trakvio
