#include "script/batch_convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "archive/load_front_end.h"
#include "archive/track_archive.h"
#include "archive/zip_files.h"
#include "compute/default_colors.h"
#include "compute/standstill.h"
#include "compute/statistics.h"
#include "compute/track_edit.h"
#include "export/export_text.h"
#include "export/kml_writer.h"
#include "export/web_map_page.h"
#include "graph/graph_emf.h"
#include "graph/graph_output.h"
#include "platform/ascii_text.h"
#include "platform/folders.h"
#include "platform/local_time.h"
#include "platform/messages.h"
#include "platform/regular_file.h"
#include "platform/status_text.h"
#include "platform/utf.h"
#include "readers/nmea_reader.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kDisplayDpi = 96;
constexpr char kHorizontalLetters[] = "?ted";
constexpr char kVerticalLetters[] = "?hdvu";

// A regular file only: a device or pipe would be read without end.
bool ReadWholeFile(const fs::path& path, std::string& text) { return ReadRegularFile(path, text) == kFileRead; }

// Writes (or appends) text; false, with errno telling why, when it fails.
bool WriteWholeFile(const fs::path& path, std::string_view text, bool append = false) {
    FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

// name[position...] against text over text's length, by code units, as
// wcsncmp does (a name that ends early compares less).
int CompareAt(std::u16string_view name, size_t position, std::u16string_view text) {
    std::u16string_view part = position < name.size() ? name.substr(position) : std::u16string_view();
    part = part.substr(0, std::min(part.size(), text.size()));
    int c = part.compare(text.substr(0, part.size()));
    if (c != 0) return c;
    return part.size() < text.size() ? -1 : 0;
}

// Text escaped for HTML content or a quoted attribute value: file names come
// from anywhere and must show as text.
std::string Html(std::string_view text) {
    std::string out;
    AppendHtml(text, out);
    return out;
}

// A folder as written in the script, joined with a name by '/', escaped for
// a quoted attribute.
std::string LinkPath(const fs::path& folder, std::string_view name) {
    std::string text = folder.string();
    if (!text.empty() && text.back() != '/') text += '/';
    text += name;
    return Html(text);
}

// Where a file goes: its output folder, taken against the script's folder.
fs::path OutputPath(const ScriptState& state, OutputFolder folder, const std::string& name) {
    return ScriptPath(state, state.folders[folder]) / fs::path(name);
}

struct GroupFigures {
    int32_t pointsBefore = 0;
    int32_t pointsAfter = 0;
    int lastLoadResult = 0;
};

void AppendRow(ScriptState& state, const TrackStore& store, const std::string& name, const GroupFigures& figures) {
    const bool leaflet = (state.formats & kOutputHtmlLeaflet) != 0;
    const bool google = (state.formats & kOutputHtmlGmap) != 0;
    const bool svg = (state.formats & kOutputSvg) != 0;
    if (!leaflet && !google && !svg) return;
    std::string row = "<tr><th>";
    std::string date = name.substr(0, 8);
    date.resize(8, ' ');
    row += Html(date.substr(0, 4) + "/" + date.substr(4, 2) + "/" + date.substr(6, 2)) + "</th>";
    if (leaflet || google) {
        const fs::path& folder = leaflet ? state.folders[kFolderLeaflet] : state.folders[kFolderGmap];
        row += "<th><a href=\"" + LinkPath(folder, name + ".htm") + "\">" +
               Html(name.size() > 9 ? name.substr(9) : "") + "</a></th>";
    }
    if (leaflet && google) {
        row += "<th><a href=\"" + LinkPath(state.folders[kFolderGmap], name + ".htm") + "\">Gmap</a></th>";
    }
    if (svg) {
        // In the order the script gave them: the oldest sits in the highest
        // bits.
        const int count = GraphCount(state.svgGraphs);
        for (int k = count - 1; k >= 0; --k) {
            const uint32_t code = (state.svgGraphs >> (6 * k)) & 0x3F;
            const int horizontal = static_cast<int>(code & 3), vertical = static_cast<int>((code >> 3) & 7);
            if (horizontal == 0 || vertical == 0 || vertical > 4) continue;
            const char h = kHorizontalLetters[horizontal], v = kVerticalLetters[vertical];
            row += "<th><a href=\"" + LinkPath(state.folders[kFolderSvg], name + "_" + h + v + ".svg") + "\">" + h +
                   "-" + v + "</a></th>";
        }
    }
    char figuresText[160];
    std::snprintf(figuresText, sizeof figuresText, "<td>%.3f</td><td>%d</td><td>%d</td><td>%d</td><td>",
                  store.totalDistanceKm, static_cast<int>(store.trackCount), static_cast<int>(figures.pointsBefore),
                  static_cast<int>(figures.pointsAfter));
    row += figuresText;
    if (figures.lastLoadResult != 0) row += std::to_string(figures.lastLoadResult);
    row += "</td></tr>\n";
    errno = 0;
    if (!WriteWholeFile(state.indexPath, row, true)) ReportWriteFailure(state, state.indexPath, errno);
}

// Writes the graphs of one list, newest first, as SVG or EMF.
void WriteGraphs(ScriptState& state, Settings& settings, TrackStore& store, const std::string& name, bool emf) {
    const uint32_t list = emf ? state.emfGraphs : state.svgGraphs;
    const int count = GraphCount(list);
    GraphSettings graph = settings.graph;
    for (int k = 0; k < count; ++k) {
        const uint32_t code = (list >> (6 * k)) & 0x3F;
        const int horizontal = static_cast<int>(code & 3), vertical = static_cast<int>((code >> 3) & 7);
        if (horizontal == 0 || vertical == 0 || vertical > 4) continue;
        graph.xItem = horizontal;
        graph.yItem = vertical;
        const std::string file =
            name + "_" + kHorizontalLetters[horizontal] + kVerticalLetters[vertical] + (emf ? ".emf" : ".svg");
        const fs::path path = OutputPath(state, emf ? kFolderEmf : kFolderSvg, file);
        errno = 0;
        GraphOutputResult result;
        if (emf) {
            settings.emfFile = path;
            result = SaveGraphEmf(path, store, graph, graph.clientWidth, graph.clientHeight, kDisplayDpi, 0);
        } else {
            settings.svgFile = path;
            result = SaveGraphSvg(path, store, graph, graph.clientWidth, graph.clientHeight, kDisplayDpi);
        }
        // A graph with nothing to draw is written empty.
        if (GraphOutputFailed(result)) ReportWriteFailure(state, path, errno);
    }
}

// The outputs of one group, in their fixed order.
void OutputGroup(ScriptState& state, Settings& settings, TrackStore& store, const std::string& name,
                 const fs::path& lastFile, GroupFigures& figures) {
    PointArray& workspace = state.sortWorkspace;
    if (state.options & kOptionSortFiles) SortFilesByTime(store, &workspace);
    if (state.options & kOptionDefaultColors) AssignDefaultColors(store);
    if (state.options & kOptionWidth) {
        for (int t = 0; t < store.trackCount; ++t) store.tracks[t].lineWidth = state.lineWidth;
    }
    if (state.options & kOptionEraseStandstills) {
        DeleteStandstillPoints(store, settings.ssmeterslessthan);
        RecomputeStatistics(store, 0);
    }
    if (state.options & kOptionCheckOrder) {
        if (int r = CheckTimeOrder(store); r != 0) {
            state.monotonicReport += "Monotonic error(" + std::to_string(r) + ") \"" + lastFile.string() + "\"\n";
        }
    }
    const std::u16string title = Utf8ToUtf16(name);
    if (state.formats & kOutputQ9z) {
        const fs::path path = OutputPath(state, kFolderQ9z, name + ".q9z");
        settings.q9ArchiveFile = path;
        errno = 0;
        if (SaveArchive(store, settings, path) != 0) ReportWriteFailure(state, path, errno);
    }
    if (state.formats & kOutputSvg) WriteGraphs(state, settings, store, name, false);
    if (state.formats & kOutputEmf) WriteGraphs(state, settings, store, name, true);

    figures.pointsBefore = store.pointCount;
    figures.pointsAfter = store.pointCount;
    if (state.formats & (kOutputHtmlLeaflet | kOutputHtmlGmap | kOutputKml | kOutputKmz)) {
        CompactAndCollapseStandstills(store, settings.ssmeterslessthan);
        figures.pointsAfter = store.pointCount;
    }
    if (state.formats & kOutputKml) {
        const fs::path path = OutputPath(state, kFolderKml, name + ".kml");
        settings.kmlSaveFile = path;
        errno = 0;
        if (WriteKml(path, title, store) != kExportDone) ReportWriteFailure(state, path, errno);
    }
    if (state.formats & kOutputKmz) {
        const fs::path path = OutputPath(state, kFolderKml, name + ".kmz");
        settings.kmlSaveFile = path;
        errno = 0;
        if (WriteKml(path, title, store) != kExportDone) ReportWriteFailure(state, path, errno);
    }
    const int pages = ((state.formats & kOutputHtmlLeaflet) ? kPageLeaflet : 0) |
                      ((state.formats & kOutputHtmlGmap) ? kPageGoogleMaps : 0);
    if (pages != 0) {
        const fs::path page(name + ".htm");
        const fs::path gmapFolder = ScriptPath(state, state.folders[kFolderGmap]);
        const fs::path leafletFolder = ScriptPath(state, state.folders[kFolderLeaflet]);
        errno = 0;
        if (WriteWebMapPages(pages, gmapFolder, leafletFolder, page, title, settings.gmapApiKeyInEffect, store,
                             settings) != kExportDone) {
            // A page that failed leaves no file behind.
            const int error = errno;
            std::error_code ec;
            const std::pair<int, fs::path> kinds[] = {{kPageLeaflet, leafletFolder}, {kPageGoogleMaps, gmapFolder}};
            for (const auto& [kind, folder] : kinds) {
                const fs::path written = folder / page;
                if ((pages & kind) && !fs::exists(written, ec)) ReportWriteFailure(state, written, error);
            }
        }
    }
    if (state.indexOpen) AppendRow(state, store, name, figures);
}

}  // namespace

bool PassesNameFilter(const ScriptState& state, std::u16string_view name) {
    const size_t position = static_cast<size_t>(std::max(0, state.filterPosition));
    switch (state.filterKind) {
        case FilterKind::kNone:
            return true;
        case FilterKind::kAfter:
            return CompareAt(name, position, state.filterText) >= 0;
        case FilterKind::kBefore:
            return CompareAt(name, position, state.filterText) <= 0;
        case FilterKind::kBetween:
            return CompareAt(name, position, state.filterText) >= 0 &&
                   (state.filterTextEnd.empty() || CompareAt(name, position, state.filterTextEnd) <= 0);
    }
    return true;
}

int CollectBatchFiles(std::string_view pattern, const ScriptState& state, fs::path& folder,
                      std::vector<std::string>& names) {
    names.clear();
    const fs::path patternPath{std::string(pattern)};
    folder = patternPath.parent_path();
    const std::string filePattern = patternPath.filename().string();
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    if (ec || filePattern.empty()) return -1;
    bool matched = false;
    std::vector<std::u16string> passing;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || !MatchesFilePattern(filePattern, name)) continue;
        std::u16string units = Utf8ToUtf16(name);
        if (units.size() > kMaxPathUnits) continue;
        matched = true;
        if (PassesNameFilter(state, units)) passing.push_back(std::move(units));
    }
    if (!matched || passing.empty()) return -1;
    std::sort(passing.begin(), passing.end());
    for (const std::u16string& name : passing) names.push_back(Utf16ToUtf8(name));
    return 0;
}

std::vector<std::string> ReadDateList(const fs::path& path) {
    std::vector<std::string> entries;
    std::string text;
    if (!ReadWholeFile(path, text)) return entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string entry = text.substr(pos, eol - pos);
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        entries.push_back(std::move(entry));
        pos = eol + 1;
    }
    return entries;
}

std::string BatchOutputName(const ScriptState& state, std::string_view fileName, int64_t firstTime,
                            const std::vector<std::string>& dateList, size_t& cursor) {
    std::string name;
    if ((state.options & kOptionNamePrefix) == 0) {
        name = std::string(fileName);
    } else {
        size_t restStart = 0;
        while (restStart < fileName.size() &&
               ((fileName[restStart] >= '0' && fileName[restStart] <= '9') || fileName[restStart] == '_')) {
            ++restStart;
        }
        const std::string rest(fileName.substr(restStart));
        char local[20];
        FormatLocalTime(firstTime, local);  // "YYYY-MM-DD HH:MM:SS"
        const std::string date = std::string(local, 4) + std::string(local + 5, 2) + std::string(local + 8, 2);
        const std::string time = std::string(local + 11, 2) + std::string(local + 14, 2) + std::string(local + 17, 2);
        bool fromList = false;
        if (state.namePrefixMode == kPrefixDateList) {
            while (cursor < dateList.size()) {
                const std::string_view entryDate = std::string_view(dateList[cursor]).substr(0, 8);
                if (entryDate < date) {
                    ++cursor;
                } else {
                    if (entryDate == date) {
                        name = dateList[cursor];
                        fromList = true;
                        ++cursor;
                    }
                    break;
                }
            }
        }
        if (!fromList) {
            name = state.namePrefixMode == kPrefixDateAndTime ? date + "_" + time + "_" + rest : date + "_" + rest;
        }
    }
    // The extension goes: everything from the last '.'.
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return CutUtf8ToUnits(name, kMaxPathUnits);
}

int ConvertBatch(std::string_view pattern, ScriptState& state, Settings& settings, TrackStore& store) {
    fs::path folder;
    std::vector<std::string> names;
    if (CollectBatchFiles(pattern, state, folder, names) != 0) return -1;
    std::vector<std::string> dateList;
    size_t cursor = 0;
    if ((state.options & kOptionNamePrefix) && state.namePrefixMode == kPrefixDateList) {
        dateList = ReadDateList(state.dateListPath);
    }

    ClearTrackStore(store);
    std::string name;
    GroupFigures figures;
    const size_t n = names.size();
    for (size_t i = 0; i < n; ++i) {
        ShowStatusText("(" + std::to_string(i + 1) + "/" + std::to_string(n) + ") " + names[i] + " processing");
        const fs::path path = folder / fs::path(names[i]);
        const bool startsGroup = store.pointCount == 0;
        figures.lastLoadResult = LoadLogFile(store, settings, path);
        if (startsGroup) {
            name = BatchOutputName(state, names[i], store.pointCount > 0 ? store.points[0].time : 0, dateList, cursor);
        }
        if (i + 1 < n && (state.options & kOptionMergeInterval) && store.loadKind == kKindNmea &&
            store.pointCount > 0) {
            int64_t next = 0;
            if (NmeaFirstFixTime(folder / fs::path(names[i + 1]), next) == kNmeaFirstFixFound) {
                const int64_t gap = next - store.points[store.pointCount - 1].time;
                if (gap > 0 && gap < state.mergeIntervalSeconds) continue;
            }
        }
        OutputGroup(state, settings, store, name, path, figures);
        ClearTrackStore(store);
    }
    ShowStatusText("");
    return 0;
}

int OpenIndex(ScriptState& state, const fs::path& path, bool newestFirst, bool urlEncoded) {
    state.indexOpen = false;
    const std::string title = path.stem().string();
    std::string head =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<meta http-equiv=\"Content-Style-Type\" content=\"text/css\">\n<title>";
    head += Html(title);
    head +=
        " - Map List</title>\n<style type=\"text/css\">\n<!--\nth {font-weight:normal;text-align:left;}\n"
        "td {font-size:80%;text-align:right;}\n-->\n</style>\n</head>\n<body>\n"
        "<table border cellspacing=\"0\" cellpadding=\"1\">\n";
    errno = 0;
    if (!WriteWholeFile(path, head)) {
        ReportWriteFailure(state, path, errno);
        return 1;
    }
    state.indexPath = path;
    state.indexOpen = true;
    state.indexNewestFirst = newestFirst;
    state.indexUrlEncoded = urlEncoded;
    return 0;
}

void FinishIndex(ScriptState& state) {
    if (!state.indexOpen) return;
    state.indexOpen = false;
    errno = 0;
    if (!WriteWholeFile(state.indexPath, "</table></body></html>\n", true)) {
        ReportWriteFailure(state, state.indexPath, errno);
        return;
    }
    std::string text;
    if (!ReadWholeFile(state.indexPath, text)) {
        ReportWriteFailure(state, state.indexPath, errno);
        return;
    }
    const size_t table = text.find("<table ");
    if (table == std::string::npos) return;
    const size_t first = text.find("<tr>", table);
    if (first == std::string::npos) return;
    std::vector<std::string_view> rows;
    size_t pos = first;
    size_t tailStart = text.size();
    while (pos != std::string::npos) {
        size_t next = text.find("<tr>", pos + 4);
        size_t end = next;
        if (next == std::string::npos) {
            size_t eol = text.find('\n', pos);
            end = eol == std::string::npos ? text.size() : eol + 1;
            tailStart = end;
        }
        rows.emplace_back(text.data() + pos, end - pos);
        pos = next;
    }
    auto key = [](std::string_view row) { return row.substr(8, 10); };
    std::stable_sort(rows.begin(), rows.end(),
                     [&key](std::string_view a, std::string_view b) { return key(a) < key(b); });
    if (state.indexNewestFirst) std::reverse(rows.begin(), rows.end());
    std::string out(text, 0, first);
    for (std::string_view row : rows) out += row;
    out.append(text, tailStart, std::string::npos);
    if (state.indexUrlEncoded) out = EncodeLinksInText(out);
    errno = 0;
    if (!WriteWholeFile(state.indexPath, out)) ReportWriteFailure(state, state.indexPath, errno);
}

void ReportWriteFailure(ScriptState& state, const fs::path& path, int errorNumber) {
    ++state.writeFailures;
    std::error_code ec;
    std::string reason;
    const fs::path folder = path.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        reason = "its folder does not exist";
    } else if (fs::is_directory(path, ec)) {
        reason = "a folder has that name";
    } else if (errorNumber != 0) {
        reason = std::strerror(errorNumber);
    } else {
        reason = "it could not be written";
    }
    ShowMessage("Cannot write the file: " + reason + ".\n" + path.string(), "Script Write Error", MessageButtons::kOk,
                kAnswerOk, MessageIcon::kError);
}

std::string EncodeLinksInText(std::string_view html) {
    std::string out;
    out.reserve(html.size() + html.size() / 8);
    size_t pos = 0;
    for (;;) {
        size_t link = html.find("<a href=", pos);
        if (link == std::string_view::npos) break;
        size_t start = link + 8;
        const bool quoted = start < html.size() && html[start] == '"';
        if (quoted) ++start;
        out.append(html.substr(pos, start - pos));
        // A quoted target runs to its closing quote, a bare one to the end
        // of the attribute.
        size_t end = html.find_first_of(quoted ? "\"" : "\" \t\r\n>", start);
        if (end == std::string_view::npos) end = html.size();
        for (size_t i = start; i < end; ++i) {
            const auto byte = static_cast<unsigned char>(html[i]);
            // A space and every byte of a UTF-8 sequence (whole or broken)
            // are percent-encoded.
            if (byte == ' ' || byte >= 0x80) {
                out += '%';
                AppendHexByte(byte, out);
            } else {
                out += static_cast<char>(byte);
            }
        }
        pos = end;
    }
    out.append(html.substr(pos));
    return out;
}

int EncodeLinks(const fs::path& input, const fs::path& output) {
    std::string text;
    if (!ReadWholeFile(input, text)) return 1;
    return WriteWholeFile(output, EncodeLinksInText(text)) ? 0 : 1;
}

}  // namespace trakvio
