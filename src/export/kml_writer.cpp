#include "export/kml_writer.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/utf.h"

namespace trakvio {

namespace {

namespace fs = std::filesystem;

void PutTrack(TextOutput& out, const TrackStore& store, int t, std::string& scratch) {
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
    std::string_view spanFirst, spanSecond;
    TimeSpanTexts(record, spanFirst, spanSecond);

    scratch.clear();
    scratch += "<Placemark>\n<description>";
    AppendXmlText(spanFirst, scratch);
    scratch += " - ";
    AppendXmlText(spanSecond, scratch);
    scratch += "</description>\n<name><![CDATA[";
    AppendCdata(Utf16ToUtf8(TrackName(store, t)), scratch);
    scratch += "]]></name>\n<Style><LineStyle><color>B2";
    out.Put(scratch);
    // KML orders the colour alpha, blue, green, red.
    const uint32_t rgb = record.color;
    out.PutHex6(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
    out.Put("</color><width>");
    out.PutInteger(record.lineWidth);
    out.Put("</width></LineStyle></Style>\n");
    out.Put(
        "<LineString><extrude>0</extrude><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode>"
        "<coordinates>\n");
    const int32_t last = std::min(TrackLastIndex(store, t), store.pointCount - 1);
    for (int32_t i = TrackFirstIndex(store, t); i <= last; ++i) {
        const LogPoint& point = store.points[static_cast<size_t>(i)];
        if (!point.enabled) continue;
        out.PutFixed(point.longitude, 6);
        out.Put(',');
        out.PutFixed(point.latitude, 6);
        out.Put(',');
        out.PutFixed(point.geoidAltitude, 1);
        out.Put('\n');
    }
    out.Put("</coordinates></LineString></Placemark>\n");
}

// Packs data as the single entry `name` of a zip built in memory; zipBytes
// receives the whole archive. Returns 0 when done.
int PackInMemory(const std::string& data, const std::string& name, std::string& zipBytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* archiveSource = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (!archiveSource) return 1;
    zip_error_init(&error);
    zip_t* archive = zip_open_from_source(archiveSource, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(archiveSource);
        return 1;
    }
    // Closing the archive writes it into archiveSource, which must outlive it.
    zip_source_keep(archiveSource);
    zip_source_t* entry = zip_source_buffer(archive, data.data(), data.size(), 0);
    const zip_int64_t index = entry ? zip_file_add(archive, name.c_str(), entry, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        if (entry) zip_source_free(entry);
        zip_discard(archive);
        zip_source_free(archiveSource);
        return 1;
    }
    // libzip deflates at level 9 unless told; zlib's usual level 6 packs these
    // number lines nearly as small in a third of the time.
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zip_source_free(archiveSource);
        return 1;
    }
    int result = 1;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(archiveSource, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
        zip_source_open(archiveSource) == 0) {
        zipBytes.resize(static_cast<size_t>(stat.size));
        if (zip_source_read(archiveSource, zipBytes.data(), stat.size) == static_cast<zip_int64_t>(stat.size)) {
            result = 0;
        }
        zip_source_close(archiveSource);
    }
    zip_source_free(archiveSource);
    return result;
}

int WriteBytes(const fs::path& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return kExportCannotCreate;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        RemovePartialFile(path);
        return kExportWriteFailed;
    }
    return kExportDone;
}

bool IsKmzPath(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension == ".kmz";
}

}  // namespace

void PutKmlDocument(TextOutput& out, std::u16string_view title, const TrackStore& store) {
    const std::string titleUtf8 = TitleUtf8(title);
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.2\">\n";
    text += "<Document><description><![CDATA[";
    AppendCdata(titleUtf8, text);
    text += "]]></description>\n<Folder><name>";
    AppendXmlText(titleUtf8, text);
    text += "</name>\n";
    out.Put(text);
    for (int t = 0; t < store.trackCount; ++t) PutTrack(out, store, t, text);
    out.Put("</Folder></Document></kml>\n");
}

std::string KmzEntryName(const fs::path& kmzPath) {
    return Utf16ToUtf8(Utf8ToUtf16(kmzPath.filename().replace_extension(".kml").string()));
}

int WriteKml(const fs::path& path, std::u16string_view title, const TrackStore& store) {
    if (!IsKmzPath(path)) {
        TextOutput out;
        if (out.Create(path) != 0) return kExportCannotCreate;
        PutKmlDocument(out, title, store);
        if (out.Close() == 0) return kExportDone;
        RemovePartialFile(path);
        return kExportWriteFailed;
    }
    TextOutput kml;
    PutKmlDocument(kml, title, store);
    std::string zipBytes;
    if (PackInMemory(kml.text(), KmzEntryName(path), zipBytes) != 0) return kExportZipFailed;
    kml.text() = std::string();  // the document is in the zip now; free it before writing
    return WriteBytes(path, zipBytes);
}

}  // namespace trakvio
