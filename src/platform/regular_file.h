// Opening and reading files that must be regular files. Devices, pipes,
// sockets and folders given where a file is read whole would be read without
// end (a link to /dev/zero) or block the program (a FIFO without a writer), so
// they are refused before a byte is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace trakvio {

// Results of ReadRegularFile.
inline constexpr int kFileRead = 0;
inline constexpr int kFileCannotOpen = 1;  // missing, unreadable, or a read failed
inline constexpr int kFileNotRegular = 2;  // a device, pipe, socket or folder
inline constexpr int kFileTooLarge = 3;    // larger than the caller's limit

// The text that explains kFileNotRegular in messages.
inline constexpr std::string_view kNotRegularFileText = "not a regular file (a device, pipe or folder); it is not read";

// Whether path (after symbolic links) names something other than a regular
// file. A missing path is not "other": opening it fails on its own.
bool IsNonRegularFile(const std::filesystem::path& path);

// Opens path for reading without blocking on a FIFO, and keeps the descriptor
// only when it is a regular file. Returns the descriptor, or -1 (result, when
// given, receives kFileCannotOpen or kFileNotRegular).
int OpenRegularFile(const std::filesystem::path& path, int* result = nullptr);

// Reads a whole regular file into bytes. Returns one of the kFile* results.
int ReadRegularFile(const std::filesystem::path& path, std::string& bytes, uint64_t limit = uint64_t{1} << 31);

}  // namespace trakvio
