#include "readers/log_loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "compute/default_colors.h"
#include "compute/geoid.h"
#include "compute/statistics.h"
#include "devices/mtk_logger.h"
#include "platform/ascii_text.h"
#include "platform/messages.h"
#include "platform/regular_file.h"
#include "readers/csv_text_reader.h"
#include "readers/gpx_reader.h"
#include "readers/itm_reader.h"
#include "readers/kml_reader.h"
#include "readers/mtk_reader.h"
#include "readers/nmea_reader.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace {

// The text after the last '.' of the file name, or nothing when it has none.
bool FileExtension(const std::filesystem::path& path, std::string& extension) {
    std::string name = path.filename().string();
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    extension = name.substr(dot + 1);
    return true;
}

std::string PathText(const std::filesystem::path& path) { return path.string(); }

}  // namespace

int KindFromForcedName(std::string_view name) {
    struct Entry {
        const char* name;
        int kind;
    };
    static constexpr Entry kForcedKinds[] = {
        {"NMEA", kKindNmea},       {"GPX", kKindGpx},           {"KML", kKindKml},
        {"BAD-TXT", kKindCsvText}, {"MTK-BIN", kKindMtkBinary},
    };
    for (const Entry& e : kForcedKinds) {
        if (EqualsIgnoreCase(name, e.name)) return e.kind;
    }
    return 0;
}

int KindFromExtension(const std::filesystem::path& path) {
    std::string ext;
    if (!FileExtension(path, ext)) return 0;
    if (EqualsIgnoreCase(ext, "gpx")) return kKindGpx;
    if (StartsWithIgnoreCase(ext, "kml")) return kKindKml;
    if (StartsWithIgnoreCase(ext, "nme")) return kKindNmea;
    if (EqualsIgnoreCase(ext, "poi")) return kKindItm;
    if (EqualsIgnoreCase(ext, "ggh")) return kKindGoGoHike;
    if (EqualsIgnoreCase(ext, "bin")) return kKindMtkBinary;
    if (EqualsIgnoreCase(ext, "q9z")) return kKindArchive;
    if (StartsWithIgnoreCase(ext, "mtk-logger")) {
        return EqualsIgnoreCase(ext, "mtk-logger_save") ? kKindMtkDownloadSave : kKindMtkDownload;
    }
    return 0;
}

int DetectKindFromBytes(const unsigned char* data, size_t size) {
    // The first 1024 bytes, the last of them forced to NUL, zeros behind a
    // shorter file.
    unsigned char head[1024] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    head[sizeof head - 1] = 0;
    const char* text = reinterpret_cast<const char*>(head);
    std::string_view view(text, std::strlen(text));

    if (head[0] == 'P' && head[1] == 'K' && head[2] == 0x03 && head[3] == 0x04) return kKindArchive;
    if (head[2] == 0x7F && head[3] == 0x00 && head[4] == 0x06 && head[5] == 0x00) return kKindMtkBinary;

    // XML: a byte-order mark, the declaration, then comments or processing
    // instructions may stand before the root element.
    std::string_view xml = view;
    if (xml.substr(0, 3) == "\xEF\xBB\xBF") xml.remove_prefix(3);
    if (StartsWithIgnoreCase(xml, "<?xml")) {
        size_t at = xml.find('>');
        while (at != std::string_view::npos) {
            size_t lt = xml.find('<', at);
            if (lt == std::string_view::npos) break;
            std::string_view root = xml.substr(lt + 1);
            if (!root.empty() && (root[0] == '!' || root[0] == '?')) {
                at = xml.find('>', lt);
                continue;
            }
            if (StartsWithIgnoreCase(root, "gpx")) return kKindGpx;
            if (StartsWithIgnoreCase(root, "kml")) return kKindKml;
            break;
        }
    }
    if (StartsWithIgnoreCase(xml, "<gpx")) return kKindGpx;
    if (StartsWithIgnoreCase(xml, "<kml")) return kKindKml;

    // NMEA: a sentence of GGA or RMC at the start of any line but the first.
    for (size_t i = 0; i < view.size(); ++i) {
        if (view[i] != '\n') continue;
        std::string_view line = view.substr(i + 1);
        if (line.size() >= 6 && line[0] == '$' && line[1] == 'G' &&
            (line.substr(3, 3) == "GGA" || line.substr(3, 3) == "RMC"))
            return kKindNmea;
    }

    if (view.substr(0, 13) == "SQLite format") {
        std::string_view tail(text + 688, std::strlen(text + 688));
        bool android = tail.find("android_metadata") != std::string_view::npos;
        bool location = tail.find("tablelocationlocation") != std::string_view::npos;
        return android && location ? kKindGoGoHike : kKindItm;
    }

    // The phone logger's header, up to the columns its versions differ in
    // (a newer one adds barometric_pressure(hPa) before name,desc).
    static constexpr std::string_view kCsvHeader =
        "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),sat_used,"
        "sat_inview,";
    if (view.substr(0, kCsvHeader.size()) == kCsvHeader) return kKindCsvText;
    return 0;
}

int DetectKindByContent(const std::filesystem::path& path) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return kKindUnreadable;
    unsigned char head[1024];
    size_t used = 0;
    while (used < sizeof head) {
        ssize_t n = ::read(fd, head + used, sizeof head - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return kKindUnreadable;
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    return DetectKindFromBytes(head, used);
}

void ReportCannotOpen(const std::filesystem::path& path) {
    ShowMessage("Cannot open the file.\n" + PathText(path), "Read Error", MessageButtons::kOk, kAnswerOk,
                MessageIcon::kError);
}

void ReportNotRegular(const std::filesystem::path& path) {
    ShowMessage("The file is " + std::string(kNotRegularFileText) + ".\n" + PathText(path), "Read Error",
                MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
}

namespace {

void ReportCut(const TrackStore& store, const std::filesystem::path& path) {
    ShowMessage("Only part of the file was read: the track store is full (" + std::to_string(store.maxlogpoints) +
                    " points, " + std::to_string(store.maxtracks) +
                    " tracks; raise maxlogpoints or maxtracks in Trakvio.ini).\n" + PathText(path),
                "Read Warning", MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
}

// Binds SQLite, asking the user to install it (Retry) or give up (Cancel)
// while it cannot be bound. Returns false when the user gave up.
bool BindSqlite(Settings& settings) {
    LoadSqliteLibrary(settings.sqlite);
    while (!settings.sqlite.loaded) {
        int answer = ShowMessage(
            "このファイルの読込には \"sqlite3.dll\" が必要です。\nSQLite Download Page から \"32-bit DLL (x86) for "
            "SQLite\" をダウンロードして、展開された \"sqlite3.dll\" をDLL検索フォルダにインストールしてから"
            "「再試行」してください。",
            "read_wp", MessageButtons::kRetryCancel, kAnswerCancel, MessageIcon::kWarning);
        if (answer != kAnswerRetry) return false;
        LoadSqliteLibrary(settings.sqlite);
    }
    return true;
}

// "read_poi Error" / "read_ggh Error" while the user has not silenced them.
void ReportDatabaseError(Settings& settings, bool itm, uint32_t result, const std::filesystem::path& path) {
    if (settings.showReadErrors != 1) return;
    char code[16];
    std::snprintf(code, sizeof code, "%x", result);
    const std::string title = itm ? "read_poi Error" : "read_ggh Error";
    int answer = ShowMessage(title + " " + code + ": " + DatabaseResultText(result, itm) + "\n" + PathText(path) + "\n",
                             title, MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kError);
    if (answer == kAnswerCancel) settings.showReadErrors = 0;
}

// Closes the points a one-track reader appended as one track. Its name comes
// with the default names; a track is only closed while the track capacity
// and the names buffer leave room for it, otherwise its points are given up.
bool CloseOneTrack(TrackStore& store, int32_t namesStart) {
    if (store.trackCount < store.maxtracks && TrackNameRoom(namesStart) >= 0) return CloseTrack(store);
    store.pointCount = PointsInClosedTracks(store);
    return false;
}

// Geoid-corrected altitudes, statistics, default names, widths and colours
// and the zoom for the points and tracks added since firstPoint/firstTrack.
void CompleteLoad(TrackStore& store, const Settings& settings, int kind, int32_t namesStart, int32_t firstPoint,
                  int32_t firstTrack, const LatitudeRange* latitudes) {
    // A load that added nothing changes no figure: the store's pass is saved
    // (a property file may name many files that add nothing).
    if (store.pointCount == firstPoint && store.trackCount == firstTrack) return;
    // Points arrive with geoidAltitude equal to altitude (AppendPoint); only a
    // loaded model changes it, so the pass is skipped without one.
    if (settings.geoidModel.loaded) {
        for (int32_t i = firstPoint; i < store.pointCount; ++i) {
            LogPoint& p = store.points[i];
            p.geoidAltitude = p.altitude - GeoidUndulation(settings.geoidModel, p.longitude, p.latitude);
        }
    }
    // The reader's latitude range covers the whole store when the store was
    // empty before it.
    RecomputeStatistics(store, 0, firstPoint == 0 ? latitudes : nullptr);
    if (store.trackNames[namesStart] == kNamesEndMarker) {
        int32_t position = namesStart;
        for (int t = firstTrack; t < store.trackCount; ++t) {
            int32_t next = WriteTrackName(store, position, DefaultTrackName(store.tracks[t].startText, t));
            if (next < 0) break;  // tracks are only closed while a name fits
            position = next;
        }
    }
    if (kind != kKindItm && kind != kKindKml) {
        for (int t = firstTrack; t < store.trackCount; ++t) store.tracks[t].lineWidth = store.tracklinewidthdefault;
        AssignDefaultColors(store);
    }
    FitZoom(store);
}

}  // namespace

LoadStart LoadStartOf(const TrackStore& store) {
    return LoadStart{NamesEndPosition(store), store.pointCount, store.trackCount};
}

void EnterOpenedArchive(TrackStore& store, const Settings& settings, const std::filesystem::path& path,
                        const LoadStart& start) {
    // Only a zip found by its content reaches the archive reader through the
    // dispatcher, so its kind is always recorded.
    EnterLoadedFile(store, path, kKindArchive);
    CompleteLoad(store, settings, kKindArchive, start.namesStart, start.firstPoint, start.firstTrack, nullptr);
}

LoadResult ReadLogFile(TrackStore& store, Settings& settings, const std::filesystem::path& path,
                       std::string_view forcedKind, int readFlag) {
    if (IsNonRegularFile(path)) {
        ReportNotRegular(path);
        return kLoadReaderError;
    }
    int32_t namesStart = NamesEndPosition(store);
    store.loadKind = 0;
    int kind = 0;
    bool recorded = false;
    if (!forcedKind.empty()) {
        kind = KindFromForcedName(forcedKind);
        recorded = kind != 0 && kind != kKindMtkBinary;
    }
    if (kind == 0) kind = KindFromExtension(path);
    if (kind == 0) {
        kind = DetectKindByContent(path);
        recorded = true;
    }
    if (kind == 0) return kLoadUnknownKind;
    if (kind == kKindUnreadable) {
        ReportCannotOpen(path);
        return kLoadReaderError;
    }
    store.loadKind = static_cast<int16_t>(kind);
    int32_t firstTrack = store.trackCount;
    int32_t firstPoint = store.pointCount;
    LoadResult status = kLoadDone;
    // Latitude range of the points a reader appended, for the statistics;
    // it stays a range no store has when the reader gives none.
    LatitudeRange latitudes{1, -1};
    const LatitudeRange* knownLatitudes = nullptr;

    std::filesystem::path dumpPath;  // logger downloads

    if (readFlag) {
        switch (kind) {
            case kKindGpx: {
                int result = ReadGpx(store, path, namesStart);
                if (result == kReaderCannotOpen) {
                    ReportCannotOpen(path);
                    return kLoadReaderError;
                }
                if (result == kReaderNoDocument) {
                    ShowMessage(
                        "The file holds no GPX document (it is empty or not GPX); nothing was read.\n" + PathText(path),
                        "Read Error", MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
                    return kLoadReaderError;
                }
                if (result == kReaderCut) ReportCut(store, path);
                break;
            }
            case kKindKml: {
                int result = ReadKml(store, path, namesStart, settings.kmlTimeDefaultStart, settings.kmlTimeDefaultStep,
                                     &latitudes);
                knownLatitudes = &latitudes;
                if (result == kReaderUnsupported) return kLoadUnknownKind;
                if (result == kReaderCannotOpen) {
                    ReportCannotOpen(path);
                    return kLoadReaderError;
                }
                if (result == kReaderCut) ReportCut(store, path);
                break;
            }
            case kKindNmea:
            case kKindMtkBinary:
            case kKindCsvText: {
                int result = kind == kKindNmea        ? ReadNmea(store, path)
                             : kind == kKindMtkBinary ? ReadMtkBinary(store, path, &latitudes)
                                                      : ReadCsvText(store, path);
                if (kind == kKindMtkBinary) knownLatitudes = &latitudes;
                if (result == kReaderUnsupported) return kLoadUnknownKind;
                // One track, closed here even when the file could not be read,
                // so that every loaded file keeps its place in the track list.
                if (!CloseOneTrack(store, namesStart)) result = kReaderCut;
                if (result == kReaderCut) ReportCut(store, path);
                if (result == kReaderCannotOpen) {
                    ReportCannotOpen(path);
                    status = kLoadReaderError;
                }
                break;
            }
            case kKindItm:
            case kKindGoGoHike: {
                if (!BindSqlite(settings)) return kLoadSqliteMissing;
                const bool itm = kind == kKindItm;
                bool cut = false;
                uint32_t result = itm ? ReadItm(settings.sqlite, store, path, namesStart, &cut)
                                      : ReadGoGoHike(settings.sqlite, store, path, &cut);
                if (result != 0) {
                    // Points the reader appended before failing belong to no
                    // track; they go, as the database's tracks do.
                    store.pointCount = PointsInClosedTracks(store);
                    ReportDatabaseError(settings, itm, result, path);
                    return kLoadReaderError;
                }
                if (!itm && !CloseOneTrack(store, namesStart)) cut = true;
                if (cut) ReportCut(store, path);
                break;
            }
            case kKindArchive:
                // The archive reader, above this dispatcher, opens it.
                return kLoadIsArchive;
            case kKindMtkDownload:
            case kKindMtkDownloadSave: {
                // The logger's memory as one track; its dump in the work
                // folder stands for it in the loaded-file list.
                std::string port = LocateLogger(settings);
                if (port.empty()) return kLoadReaderError;
                int result = DownloadMtkLogger(store, settings, port, settings.workFolder, dumpPath);
                if (result == kReaderCannotOpen) return kLoadReaderError;
                if (!CloseOneTrack(store, namesStart)) result = kReaderCut;
                if (result == kReaderCut) ReportCut(store, dumpPath);
                if (kind == kKindMtkDownloadSave) OfferDumpCopy(settings, dumpPath);
                break;
            }
            default:
                return kLoadUnknownKind;
        }
    }

    uint16_t kindEntry = recorded ? static_cast<uint16_t>(kind) : 0;
    if (!readFlag) kindEntry |= kKindNotRead;
    EnterLoadedFile(store, dumpPath.empty() ? path : dumpPath, kindEntry);
    if (!readFlag) return kLoadDone;

    CompleteLoad(store, settings, kind, namesStart, firstPoint, firstTrack, knownLatitudes);
    return status;
}

}  // namespace trakvio
