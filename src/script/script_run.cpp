#include "script/script_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "archive/zip_files.h"
#include "config/config_values.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/regular_file.h"
#include "platform/status_text.h"
#include "platform/utf.h"
#include "script/batch_convert.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxFilterUnits = 127;
constexpr size_t kMaxKeyBytes = 63;
constexpr size_t kMaxFontUnits = 31;
constexpr uint32_t kGraphListFull = 0x3F000000;  // a fifth graph is in the list

void Skipped(const ScriptLine& line, std::string_view what) {
    ShowStatusText("script line " + std::to_string(line.lineNumber) + ": " + std::string(what));
}

// A path argument, or false (and a report) when it is empty or too long.
bool PathArgument(const ScriptLine& line, size_t index, fs::path& path) {
    if (index >= line.words.size() || line.words[index].empty()) {
        Skipped(line, line.words[0] + " needs a path; the line is skipped");
        return false;
    }
    const std::string& text = line.words[index];
    if (Utf8ToUtf16(text).size() > kMaxPathUnits) {
        Skipped(line, "the path is longer than 259 units; the line is skipped");
        return false;
    }
    path = fs::path(text);
    return true;
}

int AxisCode(char letter, std::string_view letters) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    size_t found = letters.find(letter);
    return found == std::string_view::npos ? 0 : static_cast<int>(found) + 1;
}

// "svg_th": the format word, one character, the horizontal and the vertical
// item letter.
void AddGraph(std::string_view word, uint32_t& list) {
    const int horizontal = word.size() > 4 ? AxisCode(word[4], "ted") : 0;
    const int vertical = word.size() > 5 ? AxisCode(word[5], "hdvu") : 0;
    if ((list & kGraphListFull) != 0) return;
    list = (list << 6) | static_cast<uint32_t>(horizontal | (vertical << 3));
}

void SetOutputFormat(const ScriptLine& line, ScriptState& state) {
    state.formats = 0;
    state.svgGraphs = state.emfGraphs = 0;
    static constexpr std::pair<const char*, uint16_t> kWords[] = {{"q9z", kOutputQ9z},
                                                                  {"html-L", kOutputHtmlLeaflet},
                                                                  {"html-G", kOutputHtmlGmap},
                                                                  {"kml", kOutputKml},
                                                                  {"kmz", kOutputKmz}};
    for (size_t i = 1; i < line.words.size(); ++i) {
        std::string_view word = line.words[i];
        bool known = false;
        for (const auto& [name, flag] : kWords) {
            if (EqualsIgnoreCase(word, name)) {
                state.formats |= flag;
                known = true;
            }
        }
        if (known) continue;
        if (StartsWithIgnoreCase(word, "svg")) {
            state.formats |= kOutputSvg;
            AddGraph(word, state.svgGraphs);
        } else if (StartsWithIgnoreCase(word, "emf")) {
            state.formats |= kOutputEmf;
            AddGraph(word, state.emfGraphs);
        }
    }
}

void SetOutputFolder(const ScriptLine& line, ScriptState& state) {
    if (line.words.size() < 3) {
        Skipped(line, "x_output_folder needs a format and a folder; the line is skipped");
        return;
    }
    static constexpr std::pair<const char*, OutputFolder> kWords[] = {
        {"q9z", kFolderQ9z}, {"html-L", kFolderLeaflet}, {"html-G", kFolderGmap}, {"kml", kFolderKml},
        {"kmz", kFolderKml}, {"svg", kFolderSvg},        {"emf", kFolderEmf}};
    for (const auto& [name, folder] : kWords) {
        if (!EqualsIgnoreCase(line.words[1], name)) continue;
        fs::path path;
        if (!PathArgument(line, 2, path)) return;
        // Kept as written: the index links to the pages by it.
        state.folders[folder] = path;
        const fs::path created = ScriptPath(state, path);
        std::error_code ec;
        fs::create_directories(created, ec);
        if (folder == kFolderSvg) {
            // Keeps phone galleries from listing the graphs as pictures. A
            // folder that could not be made is reported by the outputs.
            errno = 0;
            std::ofstream nomedia(created / ".nomedia", std::ios::binary | std::ios::app);
            if (!nomedia && fs::is_directory(created, ec)) ReportWriteFailure(state, created / ".nomedia", errno);
        }
        return;
    }
}

void InputFilter(const ScriptLine& line, ScriptState& state) {
    if (line.words.size() < 2 || !EqualsIgnoreCase(line.words[1], "name")) return;
    if (line.words.size() > 2) {
        int32_t position = ParseLong(line.words[2]);
        state.filterPosition = position > 0 ? position - 1 : 0;
    }
    if (line.words.size() > 3) {
        std::string_view kind = line.words[3];
        if (EqualsIgnoreCase(kind, "after")) state.filterKind = FilterKind::kAfter;
        if (EqualsIgnoreCase(kind, "before")) state.filterKind = FilterKind::kBefore;
        if (EqualsIgnoreCase(kind, "between")) state.filterKind = FilterKind::kBetween;
    }
    auto text = [&line](size_t index) {
        std::u16string units = Utf8ToUtf16(line.words[index]);
        if (units.size() > kMaxFilterUnits) {
            Skipped(line, "the filter text is cut at 127 units");
            units = Utf8ToUtf16Cut(line.words[index], kMaxFilterUnits);
        }
        return units;
    };
    if (line.words.size() > 4) state.filterText = text(4);
    state.filterTextEnd.clear();
    if (line.words.size() > 5) state.filterTextEnd = text(5);
    if (state.filterKind == FilterKind::kBetween && line.words.size() <= 5) {
        Skipped(line, "\"between\" needs a second text; names from the first text on pass");
    }
}

void Set(const ScriptLine& line, Settings& settings, TrackStore& store) {
    if (line.words.size() < 3) {
        Skipped(line, "set needs a name and a value; the line is skipped");
        return;
    }
    std::string_view name = line.words[1];
    std::string_view value = line.words[2];
    if (EqualsIgnoreCase(name, "meters_less_than")) {
        settings.ssmeterslessthan = static_cast<int32_t>(ParseDouble(value));
    } else if (EqualsIgnoreCase(name, "gmap_api_key")) {
        if (value.size() > kMaxKeyBytes) Skipped(line, "the API key is cut at 63 bytes");
        settings.gmapApiKeyInEffect = CutUtf8(value, kMaxKeyBytes);
    } else if (EqualsIgnoreCase(name, "itm_read_data")) {
        if (EqualsIgnoreCase(value, "poi") || EqualsIgnoreCase(value, ".poi")) settings.itmReadPoi = 1;
        if (EqualsIgnoreCase(value, "bin") || EqualsIgnoreCase(value, ".bin")) settings.itmReadPoi = 0;
    } else if (EqualsIgnoreCase(name, "itm_arch_data")) {
        settings.itmKeepBoth = EqualsIgnoreCase(value, "both") ? 1 : 0;
    } else if (EqualsIgnoreCase(name, "gpx_read_rte")) {
        store.readGpxRoutes = EqualsIgnoreCase(value, "true") ? 1 : 0;
    }
}

void Options(const ScriptLine& line, ScriptState& state) {
    state.options = 0;
    state.dateListPath.clear();
    for (size_t i = 1; i < line.words.size(); ++i) {
        std::string_view option = line.words[i];
        if (StartsWithIgnoreCase(option, "save_name_prefix")) {
            state.options |= kOptionNamePrefix;
            size_t equals = option.find('=');
            state.namePrefixMode = kPrefixDate;
            if (equals != std::string_view::npos) {
                std::string_view value = option.substr(equals + 1);
                if (StartsWithIgnoreCase(value, "date_and_time")) {
                    state.namePrefixMode = kPrefixDateAndTime;
                } else if (StartsWithIgnoreCase(value, "dtlist=")) {
                    std::error_code ec;
                    const fs::path list = ScriptPath(state, fs::path(std::string(value.substr(7))));
                    if (fs::is_regular_file(list, ec)) {
                        state.namePrefixMode = kPrefixDateList;
                        state.dateListPath = list;
                    } else {
                        Skipped(line,
                                "the date list " + std::string(value.substr(7)) + " is not there; names get the date");
                    }
                }
            }
        } else if (StartsWithIgnoreCase(option, "merge_interval")) {
            state.options |= kOptionMergeInterval;
            size_t equals = option.find('=');
            if (equals != std::string_view::npos) {
                state.mergeIntervalSeconds = static_cast<int64_t>(ParseLong(option.substr(equals + 1))) * 60;
            }
        } else if (StartsWithIgnoreCase(option, "color=default")) {
            state.options |= kOptionDefaultColors;
        } else if (StartsWithIgnoreCase(option, "width=")) {
            state.options |= kOptionWidth;
            state.lineWidth = static_cast<int32_t>(ParseLong(option.substr(6)));
        } else if (StartsWithIgnoreCase(option, "erase_sswp")) {
            state.options |= kOptionEraseStandstills;
        } else if (StartsWithIgnoreCase(option, "monotonic_sortf")) {
            state.options |= kOptionSortFiles;
        } else if (StartsWithIgnoreCase(option, "monotonic_check")) {
            state.options |= kOptionCheckOrder;
        }
    }
}

void Font(const ScriptLine& line, GraphFont& font) {
    if (line.words.size() < 2) {
        Skipped(line, line.words[0] + " needs a font name; the line is skipped");
        return;
    }
    if (!line.words[1].empty()) font.name = Utf8ToUtf16Cut(line.words[1], kMaxFontUnits);
    if (line.words.size() > 2 && !line.words[2].empty()) font.size = ParseLong(line.words[2]);
}

// The block's lines, up to a line beginning with '}', or the one text.
std::vector<std::string> BlockOrText(const ScriptLine& line, size_t index) {
    if (line.hasBlock && line.words.back() == "{" && index + 1 == line.words.size()) {
        std::vector<std::string> lines;
        for (const std::string& blockLine : line.block) {
            if (!blockLine.empty() && blockLine[0] == '}') break;
            lines.push_back(blockLine);
        }
        return lines;
    }
    return {line.words[index]};
}

void TextFile(const ScriptLine& line, ScriptState& state) {
    if (line.words.size() < 4) {
        Skipped(line, "text_file needs a file, a mode and a text or block; the line is skipped");
        return;
    }
    fs::path path;
    if (!PathArgument(line, 1, path)) return;
    // Only the writing modes of fopen: "w" replaces, "a" appends; a "b"
    // writes bare line feeds, as on the systems the scripts come from.
    std::string_view mode = line.words[2];
    if (mode.empty() || (mode[0] != 'w' && mode[0] != 'a') || mode.size() > 3 ||
        mode.find_first_not_of("wab+t") != std::string_view::npos) {
        Skipped(line, "text_file mode must be \"w\" or \"a\"; the line is skipped");
        return;
    }
    const bool binary = mode.find('b') != std::string_view::npos;
    std::string text;
    for (const std::string& part : BlockOrText(line, 3)) {
        text += part;
        text += binary ? "\n" : "\r\n";
    }
    errno = 0;
    const fs::path target = ScriptPath(state, path);
    FILE* file = std::fopen(target.c_str(), mode[0] == 'w' ? "wb" : "ab");
    if (file == nullptr) {
        ReportWriteFailure(state, target, errno);
        return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) ReportWriteFailure(state, target, errno);
}

// compress_zip zip, folder, patterns, options: 'a' appends, 'r' recurses,
// 'u' keeps the folder's own name in the entry names.
void CompressZip(const ScriptLine& line, ScriptState& state) {
    fs::path zip, folder;
    if (line.words.size() < 4) {
        Skipped(line, "compress_zip needs a zip file, a folder and patterns; the line is skipped");
        return;
    }
    if (!PathArgument(line, 1, zip) || !PathArgument(line, 2, folder)) return;
    bool append = false, recurse = false, keepFolderName = false;
    for (size_t i = 4; i < line.words.size(); ++i) {
        if (line.words[i].empty()) continue;
        const char c = static_cast<char>(line.words[i][0] | 0x20);
        append |= c == 'a';
        recurse |= c == 'r';
        keepFolderName |= c == 'u';
    }
    ShowStatusText("Creating ZIP Archive");
    errno = 0;
    const fs::path target = ScriptPath(state, zip);
    if (ArchiveFolder(target, ScriptPath(state, folder), line.words[3], append ? 0 : 1, recurse ? 1 : 0,
                      keepFolderName ? 1 : 0) != 0) {
        ReportWriteFailure(state, target, errno);
    }
}

// What a command works on.
struct Script {
    ScriptState& state;
    Settings& settings;
    TrackStore& store;
};

// cd folder: later relative paths are taken against it. As with a change of
// directory, only a folder that is there is taken.
void ChangeFolder(const ScriptLine& line, Script& script) {
    fs::path path;
    if (!PathArgument(line, 1, path)) return;
    const fs::path folder = ScriptPath(script.state, path);
    std::error_code ec;
    if (fs::is_directory(folder, ec)) script.state.folder = folder;
}

void MakeFolder(const ScriptLine& line, Script& script) {
    fs::path path;
    std::error_code ec;
    if (PathArgument(line, 1, path)) fs::create_directories(ScriptPath(script.state, path), ec);
}

// x_output_index file, options: only while a page format is chosen, as the
// index links to the pages.
void OutputIndex(const ScriptLine& line, Script& script) {
    ScriptState& state = script.state;
    if ((state.formats & (kOutputHtmlLeaflet | kOutputHtmlGmap)) == 0) return;
    FinishIndex(state);
    fs::path path;
    if (!PathArgument(line, 1, path)) return;
    bool newestFirst = false, urlEncoded = false;
    for (size_t i = 2; i < line.words.size(); ++i) {
        if (StartsWithIgnoreCase(line.words[i], "de")) newestFirst = true;
        if (StartsWithIgnoreCase(line.words[i], "url")) urlEncoded = true;
    }
    if (OpenIndex(state, ScriptPath(state, path), newestFirst, urlEncoded) != 0) ShowStatusText("x_output_index Error");
}

// in_x_out pattern, or a block of patterns each converted as its own batch.
void ConvertFiles(const ScriptLine& line, Script& script) {
    if (line.words.size() < 2 || line.words[1].empty()) {
        Skipped(line, "in_x_out needs a file pattern; the line is skipped");
        return;
    }
    for (const std::string& pattern : BlockOrText(line, 1)) {
        // Block lines are taken as written, blanks around them aside.
        const size_t first = pattern.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        const size_t last = pattern.find_last_not_of(" \t");
        const std::string trimmed = pattern.substr(first, last - first + 1);
        const std::string resolved = ScriptPath(script.state, fs::path(trimmed)).string();
        if (ConvertBatch(resolved, script.state, script.settings, script.store) != 0) {
            Skipped(line, "no file matches " + trimmed);
        }
    }
}

// url_enc input, output: the output defaults to the input.
void EncodeUrls(const ScriptLine& line, Script& script) {
    fs::path input, output;
    if (!PathArgument(line, 1, input)) return;
    if (line.words.size() > 2 && !line.words[2].empty()) {
        if (!PathArgument(line, 2, output)) return;
    } else {
        output = input;
    }
    const fs::path source = ScriptPath(script.state, input), target = ScriptPath(script.state, output);
    errno = 0;
    if (EncodeLinks(source, target) != 0) {
        if (IsNonRegularFile(source)) {
            ShowMessage("The file is " + std::string(kNotRegularFileText) + ".\n" + source.string(), "url_enc Error",
                        MessageButtons::kOk, kAnswerOk, MessageIcon::kError);
        }
        ReportWriteFailure(script.state, target, errno);
    }
}

void GraphClientSize(const ScriptLine& line, Script& script) {
    if (line.words.size() < 3) {
        Skipped(line, "grp_client_size needs a width and a height; the line is skipped");
        return;
    }
    const int32_t width = ParseLong(line.words[1]), height = ParseLong(line.words[2]);
    if (width > 0 && height > 0) {
        script.settings.graph.clientWidth = width;
        script.settings.graph.clientHeight = height;
    } else {
        Skipped(line, "the graph size must be positive; the line is skipped");
    }
}

void SpeedWindow(const ScriptLine& line, Script& script) {
    if (line.words.size() < 2) return;
    const int32_t n = ParseLong(line.words[1]);
    script.store.speedWindow = n < 2 ? 1 : n;
}

void SvgDpi(const ScriptLine& line, Script& script) {
    if (line.words.size() > 1)
        script.settings.graph.svgDpi = static_cast<uint32_t>(std::max(0, ParseLong(line.words[1])));
}

void ReferencePrinter(const ScriptLine& line, Script& script) {
    if (line.words.size() < 2) return;
    if (line.words[1].size() > kMaxKeyBytes) Skipped(line, "the printer name is cut at 63 bytes");
    script.settings.graph.referencePrinter = CutUtf8(line.words[1], kMaxKeyBytes);
}

void Pause(const ScriptLine& line, Script&) {
    ShowMessage(line.words.size() > 1 ? line.words[1] : std::string(), "Script Pause");
}

void EndScript(const ScriptLine&, Script& script) { script.state.ended = true; }

struct Command {
    const char* name;  // matched ignoring case
    void (*run)(const ScriptLine& line, Script& script);
};

constexpr Command kCommands[] = {
    {"end", EndScript},
    {"cd", ChangeFolder},
    {"md", MakeFolder},
    {"x_output_index", OutputIndex},
    {"x_close_index", [](const ScriptLine&, Script& s) { FinishIndex(s.state); }},
    {"in_x_out", ConvertFiles},
    {"compress_zip", [](const ScriptLine& l, Script& s) { CompressZip(l, s.state); }},
    {"url_enc", EncodeUrls},
    {"x_input_filter", [](const ScriptLine& l, Script& s) { InputFilter(l, s.state); }},
    {"x_output_folder", [](const ScriptLine& l, Script& s) { SetOutputFolder(l, s.state); }},
    {"x_output_format", [](const ScriptLine& l, Script& s) { SetOutputFormat(l, s.state); }},
    {"set", [](const ScriptLine& l, Script& s) { Set(l, s.settings, s.store); }},
    {"x_option", [](const ScriptLine& l, Script& s) { Options(l, s.state); }},
    {"grp_client_size", GraphClientSize},
    {"grp_v_avg_pts", SpeedWindow},
    {"grp_svg_dpi", SvgDpi},
    {"grp_emf_ref_printer", ReferencePrinter},
    {"grp_font_num", [](const ScriptLine& l, Script& s) { Font(l, s.settings.graph.numberFont); }},
    {"grp_font_label", [](const ScriptLine& l, Script& s) { Font(l, s.settings.graph.labelFont); }},
    {"text_file", [](const ScriptLine& l, Script& s) { TextFile(l, s.state); }},
    {"pause", Pause},
};

}  // namespace

fs::path ScriptPath(const ScriptState& state, const fs::path& path) {
    if (path.is_absolute()) return path;
    if (!state.folder.empty()) return (state.folder / path).lexically_normal();
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal();
}

int GraphCount(uint32_t list) {
    int count = 0;
    for (; list != 0 && count < 5; list >>= 6) ++count;
    return count;
}

bool IsScriptCommand(std::string_view word) {
    for (const Command& command : kCommands) {
        if (EqualsIgnoreCase(word, command.name)) return true;
    }
    return false;
}

bool ExecuteScriptLine(const ScriptLine& line, ScriptState& state, Settings& settings, TrackStore& store) {
    if (line.words.empty()) return true;
    for (const Command& command : kCommands) {
        if (!EqualsIgnoreCase(line.words[0], command.name)) continue;
        Script script{state, settings, store};
        command.run(line, script);
        return command.run != EndScript;
    }
    return true;  // an unknown command is passed over
}

ScriptResult RunScript(const fs::path& path, Settings& settings, TrackStore& store) {
    std::string text;
    if (ReadRegularFile(path, text) != kFileRead) return kScriptUnreadable;

    std::vector<std::string> problems;
    const std::vector<ScriptLine> lines = ParseScript(text, problems);
    for (const std::string& problem : problems) ShowStatusText("script " + problem);

    ScriptState state;
    state.folder = ScriptPath(state, path).parent_path();
    for (const ScriptLine& line : lines) {
        if (!ExecuteScriptLine(line, state, settings, store)) break;
    }
    FinishIndex(state);
    ShowStatusText("Script Execution Completed");
    if (!state.monotonicReport.empty()) {
        ShowMessage(state.monotonicReport, "monotonic_check Error");
        state.monotonicReport.clear();
    }
    return state.writeFailures > 0 ? kScriptOutputFailed : kScriptDone;
}

}  // namespace trakvio
