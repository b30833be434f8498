#include "script/script_run.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "archive/zip_files.h"
#include "config/config_values.h"
#include "platform/messages.h"
#include "platform/status_text.h"
#include "platform/utf.h"
#include "script/batch_convert.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxPathUnits = 259;
constexpr size_t kMaxFilterUnits = 127;
constexpr size_t kMaxKeyBytes = 63;
constexpr size_t kMaxFontUnits = 31;
constexpr uint32_t kGraphListFull = 0x3F000000;  // a fifth graph is in the list

void Skipped(const ScriptLine& line, std::string_view what) {
    ShowStatusText("script line " + std::to_string(line.lineNumber) + ": " + std::string(what));
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
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
    static constexpr std::pair<const char*, uint16_t> kWords[] = {
        {"q9z", kOutputQ9z}, {"html-L", kOutputHtmlLeaflet}, {"html-G", kOutputHtmlGmap},
        {"kml", kOutputKml}, {"kmz", kOutputKmz}};
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
        if (StartsWithIgnoringCase(word, "svg")) {
            state.formats |= kOutputSvg;
            AddGraph(word, state.svgGraphs);
        } else if (StartsWithIgnoringCase(word, "emf")) {
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
        state.folders[folder] = path;
        std::error_code ec;
        fs::create_directories(path, ec);
        if (folder == kFolderSvg) {
            // Keeps phone galleries from listing the graphs as pictures.
            std::ofstream(path / ".nomedia", std::ios::binary | std::ios::app);
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
        if (StartsWithIgnoringCase(option, "save_name_prefix")) {
            state.options |= kOptionNamePrefix;
            size_t equals = option.find('=');
            state.namePrefixMode = kPrefixDate;
            if (equals != std::string_view::npos) {
                std::string_view value = option.substr(equals + 1);
                if (StartsWithIgnoringCase(value, "date_and_time")) {
                    state.namePrefixMode = kPrefixDateAndTime;
                } else if (StartsWithIgnoringCase(value, "dtlist=")) {
                    std::error_code ec;
                    fs::path list = fs::absolute(fs::path(std::string(value.substr(7))), ec);
                    if (!ec && fs::is_regular_file(list, ec)) {
                        state.namePrefixMode = kPrefixDateList;
                        state.dateListPath = list;
                    } else {
                        Skipped(line, "the date list " + std::string(value.substr(7)) +
                                          " is not there; names get the date");
                    }
                }
            }
        } else if (StartsWithIgnoringCase(option, "merge_interval")) {
            state.options |= kOptionMergeInterval;
            size_t equals = option.find('=');
            if (equals != std::string_view::npos) {
                state.mergeIntervalSeconds = static_cast<int64_t>(ParseLong(option.substr(equals + 1))) * 60;
            }
        } else if (StartsWithIgnoringCase(option, "color=default")) {
            state.options |= kOptionDefaultColors;
        } else if (StartsWithIgnoringCase(option, "width=")) {
            state.options |= kOptionWidth;
            state.lineWidth = static_cast<int32_t>(ParseLong(option.substr(6)));
        } else if (StartsWithIgnoringCase(option, "erase_sswp")) {
            state.options |= kOptionEraseStandstills;
        } else if (StartsWithIgnoringCase(option, "monotonic_sortf")) {
            state.options |= kOptionSortFiles;
        } else if (StartsWithIgnoringCase(option, "monotonic_check")) {
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

void TextFile(const ScriptLine& line) {
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
    FILE* file = std::fopen(path.c_str(), mode[0] == 'w' ? "wb" : "ab");
    if (file == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

// compress_zip zip, folder, patterns, options: 'a' appends, 'r' recurses,
// 'u' keeps the folder's own name in the entry names.
void CompressZip(const ScriptLine& line) {
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
    ArchiveFolder(zip, folder, line.words[3], append ? 0 : 1, recurse ? 1 : 0, keepFolderName ? 1 : 0);
}

}  // namespace

int GraphCount(uint32_t list) {
    int count = 0;
    for (; list != 0 && count < 5; list >>= 6) ++count;
    return count;
}

bool IsScriptCommand(std::string_view word) {
    // The words ExecuteScriptLine below acts on, between blanks; keep both in step.
    static constexpr std::string_view kCommands =
        " end cd md x_output_index x_close_index in_x_out compress_zip url_enc x_input_filter x_output_folder"
        " x_output_format set x_option grp_client_size grp_v_avg_pts grp_svg_dpi grp_emf_ref_printer grp_font_num"
        " grp_font_label text_file pause ";
    if (word.empty() || word.find(' ') != std::string_view::npos) return false;
    std::string key = " ";
    for (char c : word) key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    key += ' ';
    return kCommands.find(key) != std::string_view::npos;
}

bool ExecuteScriptLine(const ScriptLine& line, ScriptState& state, Settings& settings, TrackStore& store) {
    if (line.words.empty()) return true;
    std::string_view command = line.words[0];
    auto is = [command](const char* name) { return EqualsIgnoreCase(command, name); };
    if (is("end")) {
        state.ended = true;
        return false;
    }
    std::error_code ec;
    fs::path path;
    if (is("cd")) {
        if (PathArgument(line, 1, path)) fs::current_path(path, ec);
    } else if (is("md")) {
        if (PathArgument(line, 1, path)) fs::create_directories(path, ec);
    } else if (is("x_output_index")) {
        // Only while a page format is chosen; the index links to the pages.
        if ((state.formats & (kOutputHtmlLeaflet | kOutputHtmlGmap)) == 0) return true;
        FinishIndex(state);
        if (!PathArgument(line, 1, path)) return true;
        bool newestFirst = false, urlEncoded = false;
        for (size_t i = 2; i < line.words.size(); ++i) {
            if (StartsWithIgnoringCase(line.words[i], "de")) newestFirst = true;
            if (StartsWithIgnoringCase(line.words[i], "url")) urlEncoded = true;
        }
        if (OpenIndex(state, path, newestFirst, urlEncoded) != 0) ShowStatusText("x_output_index Error");
    } else if (is("x_close_index")) {
        FinishIndex(state);
    } else if (is("in_x_out")) {
        if (line.words.size() < 2 || line.words[1].empty()) {
            Skipped(line, "in_x_out needs a file pattern; the line is skipped");
            return true;
        }
        for (const std::string& pattern : BlockOrText(line, 1)) {
            // Block lines are taken as written, blanks around them aside.
            const size_t first = pattern.find_first_not_of(" \t");
            if (first == std::string::npos) continue;
            const size_t last = pattern.find_last_not_of(" \t");
            const std::string trimmed = pattern.substr(first, last - first + 1);
            if (ConvertBatch(trimmed, state, settings, store) != 0) {
                Skipped(line, "no file matches " + trimmed);
            }
        }
    } else if (is("compress_zip")) {
        CompressZip(line);
    } else if (is("url_enc")) {
        fs::path output;
        if (!PathArgument(line, 1, path)) return true;
        if (line.words.size() > 2 && !line.words[2].empty()) {
            if (!PathArgument(line, 2, output)) return true;
        } else {
            output = path;
        }
        EncodeLinks(path, output);
    } else if (is("x_input_filter")) {
        InputFilter(line, state);
    } else if (is("x_output_folder")) {
        SetOutputFolder(line, state);
    } else if (is("x_output_format")) {
        SetOutputFormat(line, state);
    } else if (is("set")) {
        Set(line, settings, store);
    } else if (is("x_option")) {
        Options(line, state);
    } else if (is("grp_client_size")) {
        if (line.words.size() < 3) {
            Skipped(line, "grp_client_size needs a width and a height; the line is skipped");
        } else {
            int32_t width = ParseLong(line.words[1]), height = ParseLong(line.words[2]);
            if (width > 0 && height > 0) {
                settings.graph.clientWidth = width;
                settings.graph.clientHeight = height;
            } else {
                Skipped(line, "the graph size must be positive; the line is skipped");
            }
        }
    } else if (is("grp_v_avg_pts")) {
        if (line.words.size() > 1) {
            int32_t n = ParseLong(line.words[1]);
            store.speedWindow = n < 2 ? 1 : n;
        }
    } else if (is("grp_svg_dpi")) {
        if (line.words.size() > 1) settings.graph.svgDpi = static_cast<uint32_t>(std::max(0, ParseLong(line.words[1])));
    } else if (is("grp_emf_ref_printer")) {
        if (line.words.size() > 1) {
            if (line.words[1].size() > kMaxKeyBytes) Skipped(line, "the printer name is cut at 63 bytes");
            settings.graph.referencePrinter = CutUtf8(line.words[1], kMaxKeyBytes);
        }
    } else if (is("grp_font_num")) {
        Font(line, settings.graph.numberFont);
    } else if (is("grp_font_label")) {
        Font(line, settings.graph.labelFont);
    } else if (is("text_file")) {
        TextFile(line);
    } else if (is("pause")) {
        ShowMessage(line.words.size() > 1 ? line.words[1] : std::string(), "Script Pause");
    }
    return true;
}

int RunScript(const fs::path& path, Settings& settings, TrackStore& store) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return -1;
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return -1;
    file.close();

    std::vector<std::string> problems;
    const std::vector<ScriptLine> lines = ParseScript(text, problems);
    for (const std::string& problem : problems) ShowStatusText("script " + problem);

    ScriptState state;
    std::error_code ec;
    // Relative names of the script (and its cd lines) resolve against the
    // current directory while it runs; the program's own directory is given
    // back afterwards, so file dialogs and later loads never see the one the
    // script chose.
    const fs::path before = fs::current_path(ec);
    fs::path folder = fs::absolute(path, ec).parent_path();
    if (!folder.empty()) fs::current_path(folder, ec);
    for (const ScriptLine& line : lines) {
        if (!ExecuteScriptLine(line, state, settings, store)) break;
    }
    FinishIndex(state);
    if (!before.empty()) fs::current_path(before, ec);
    ShowStatusText("Script Execution Completed");
    if (!state.monotonicReport.empty()) {
        ShowMessage(state.monotonicReport, "monotonic_check Error");
        state.monotonicReport.clear();
    }
    return 0;
}

}  // namespace trakvio
