#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace trakvio {

bool IsNonRegularFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

int OpenRegularFile(const std::filesystem::path& path, int* result) {
    if (result) *result = kFileCannotOpen;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (result && errno != EBADF) *result = kFileNotRegular;
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never block; the flag only mattered for open.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (result) *result = kFileRead;
    return fd;
}

int ReadRegularFile(const std::filesystem::path& path, std::string& bytes, uint64_t limit) {
    bytes.clear();
    int result = kFileCannotOpen;
    int fd = OpenRegularFile(path, &result);
    if (fd < 0) return result;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return kFileCannotOpen;
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        ::close(fd);
        return kFileTooLarge;
    }
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t used = 0;
    result = kFileRead;
    // A file that grows while it is read is read up to the size it had.
    while (used < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = kFileCannotOpen;
            break;
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(used);
    if (result != kFileRead) bytes.clear();
    return result;
}

}  // namespace trakvio
