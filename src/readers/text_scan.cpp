#include "readers/text_scan.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/regular_file.h"
#include "platform/utf.h"

namespace trakvio {

const char* FindBytes(const char* from, const char* to, const char* needle, size_t n) {
    if (to <= from) return nullptr;
    std::string_view haystack(from, static_cast<size_t>(to - from));
    size_t at = haystack.find(std::string_view(needle, n));
    return at == std::string_view::npos ? nullptr : from + at;
}

namespace {
template <typename T>
T ParseDecimalWithLibrary(const char* p, const char* end, const char*& next) {
    T value = 0;
    auto result = std::from_chars(p, end, value, std::chars_format::general);
    next = result.ec == std::errc::invalid_argument ? p : result.ptr;
    // Out of range (too small or too large) and non-finite values give 0.
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}
}  // namespace

const char* FindCharFar(const char* p, const char* end, char c) {
    // Most searches end within the first stretch; only what is left after it
    // is worth a thread.
    constexpr size_t kNearBytes = size_t{64} << 10;
    constexpr size_t kSplitBytes = size_t{1} << 20;
    auto search = [c](const char* from, const char* to) {
        return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(to - from)));
    };
    if (p >= end) return nullptr;
    if (static_cast<size_t>(end - p) < kNearBytes + kSplitBytes) return search(p, end);
    if (const char* found = search(p, p + kNearBytes)) return found;
    p += kNearBytes;
    const char* middle = p + (end - p) / 2;
    const char* second = nullptr;
    std::thread worker;
    try {
        worker = std::thread([&] { second = search(middle, end); });
    } catch (const std::system_error&) {
        return search(p, end);
    }
    const char* first = search(p, middle);
    worker.join();
    return first ? first : second;
}

double ParseDecimalSlow(const char* p, const char* end, const char*& next) {
    return ParseDecimalWithLibrary<double>(p, end, next);
}

float ParseDecimalSlowFloat(const char* p, const char* end, const char*& next) {
    return ParseDecimalWithLibrary<float>(p, end, next);
}

namespace {
// Decodes the reference starting at p ('&'); returns its length, 0 when it is
// not a reference this decoder knows.
size_t DecodeReference(const char* p, const char* to, std::string& out) {
    const char* semicolon =
        static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(std::min<ptrdiff_t>(to - p, 12))));
    if (!semicolon) return 0;
    std::string_view name(p + 1, static_cast<size_t>(semicolon - p - 1));
    size_t length = static_cast<size_t>(semicolon - p + 1);
    if (name == "amp") {
        out.push_back('&');
    } else if (name == "lt") {
        out.push_back('<');
    } else if (name == "gt") {
        out.push_back('>');
    } else if (name == "quot") {
        out.push_back('"');
    } else if (name == "apos") {
        out.push_back('\'');
    } else if (name.size() >= 2 && name[0] == '#') {
        bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        uint32_t cp = 0;
        auto result = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) return 0;
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        AppendUtf8(cp, out);
    } else {
        return 0;
    }
    return length;
}
}  // namespace

void DecodeXmlText(const char* from, const char* to, std::string& out) {
    const char* p = from;
    while (p < to) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<size_t>(to - p)));
        if (!amp) {
            out.append(p, to);
            return;
        }
        out.append(p, amp);
        size_t used = DecodeReference(amp, to, out);
        if (used == 0) {
            out.push_back('&');
            p = amp + 1;
        } else {
            p = amp + used;
        }
    }
}

FileBytes::~FileBytes() {
    if (mapping_) munmap(mapping_, mappingLength_);
}

int FileBytes::Open(const std::filesystem::path& path, bool withNul) {
    // Only regular files: a device or pipe would be read without end.
    int fd = OpenRegularFile(path);
    if (fd < 0) return 1;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return 1;
    }
    // A regular file whose last page has room for the NUL is mapped: the
    // kernel fills that room with zeros. Other files are read (unless the
    // NUL is not wanted).
    long page = sysconf(_SC_PAGESIZE);
    size_t length = static_cast<size_t>(st.st_size);
    if (S_ISREG(st.st_mode) && length > 0 && page > 0 && (!withNul || length % static_cast<size_t>(page) != 0)) {
        void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapping != MAP_FAILED) {
            ::close(fd);
            madvise(mapping, length, MADV_SEQUENTIAL);
            mapping_ = mapping;
            mappingLength_ = length;
            data_ = static_cast<const char*>(mapping);
            size_ = length;
            return 0;
        }
    }
    ::close(fd);
    if (ReadWholeFile(path, buffer_, size_) != 0) return 1;
    data_ = buffer_.get();
    return 0;
}

int ReadWholeFile(const std::filesystem::path& path, std::unique_ptr<char[]>& data, size_t& size) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return 1;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return 1;
    }
    // A buffer of the file's size; one that grows while it is read gets a
    // buffer that doubles.
    size_t capacity = static_cast<size_t>(st.st_size);
    size_t used = 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity + 1]);
    int result = buffer ? 0 : 1;
    while (result == 0) {
        char probe;
        char* target = used < capacity ? buffer.get() + used : &probe;
        size_t want = used < capacity ? capacity - used : 1;
        ssize_t n = ::read(fd, target, want);
        if (n < 0) {
            if (errno != EINTR) result = 1;
            continue;
        }
        if (n == 0) break;
        if (target == &probe) {
            size_t larger = capacity * 2 + 65536;
            std::unique_ptr<char[]> bigger(new (std::nothrow) char[larger + 1]);
            if (!bigger) {
                result = 1;
                break;
            }
            std::memcpy(bigger.get(), buffer.get(), used);
            buffer = std::move(bigger);
            capacity = larger;
            buffer[used] = probe;
        }
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    if (result != 0) return result;
    buffer[used] = 0;
    data = std::move(buffer);
    size = used;
    return 0;
}

}  // namespace trakvio
