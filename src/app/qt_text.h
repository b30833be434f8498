// Conversions between the core's texts and paths (UTF-8, UTF-16, filesystem
// paths) and Qt's strings. Every Qt file uses these instead of its own.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace trakvio {

inline QString QStringFromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Utf8FromQString(const QString& text) { return text.toStdString(); }
inline QString QStringFromUtf16(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline std::u16string Utf16FromQString(const QString& text) { return text.toStdU16String(); }

// Paths hold the file system's bytes; Qt decodes them as the local 8-bit
// encoding (UTF-8 on every current Linux desktop).
inline QString QStringFromPath(const std::filesystem::path& path) { return QString::fromLocal8Bit(path.native()); }
inline std::filesystem::path PathFromQString(const QString& text) {
    return std::filesystem::path(text.toLocal8Bit().toStdString());
}

}  // namespace trakvio
