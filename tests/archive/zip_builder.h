// Zip files for the archive tests, written with libzip: entries under raw
// name bytes (so Shift-JIS names and hostile names can be made), with chosen
// times, stored or deflated, and folder entries.
#pragma once

#include <zip.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace trakvio::test {

struct ZipEntry {
    std::string name;  // raw bytes; a name ending in '/' is a folder entry
    std::string content;
    time_t mtime = 0;     // 0: libzip's default (now)
    bool stored = false;  // true: no compression, so the bytes can be found in the file
};

// Writes the entries to path (replacing it). Returns false when libzip fails.
inline bool BuildZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) return false;
    for (const ZipEntry& entry : entries) {
        zip_int64_t index;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_GUESS);
        } else {
            zip_source_t* source = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
            index = source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_GUESS) : -1;
            if (index < 0) zip_source_free(source);
            if (index >= 0 && entry.stored)
                zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        if (index < 0) {
            zip_discard(archive);
            return false;
        }
        if (entry.mtime != 0) zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), entry.mtime, 0);
    }
    return zip_close(archive) == 0;
}

// Names of the entries of a zip file, in order (empty when it cannot be read).
inline std::vector<std::string> ZipEntryNames(const std::filesystem::path& path) {
    std::vector<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        names.push_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW));
    }
    zip_discard(archive);
    return names;
}

// The content of one entry ("" when missing).
inline std::string ZipEntryContent(const std::filesystem::path& path, const std::string& name) {
    std::string content;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) return content;
    zip_stat_t stat;
    if (zip_stat(archive, name.c_str(), 0, &stat) == 0) {
        zip_file_t* file = zip_fopen(archive, name.c_str(), 0);
        if (file) {
            content.resize(stat.size);
            zip_int64_t n = zip_fread(file, content.data(), stat.size);
            content.resize(n < 0 ? 0 : static_cast<size_t>(n));
            zip_fclose(file);
        }
    }
    zip_discard(archive);
    return content;
}

}  // namespace trakvio::test
