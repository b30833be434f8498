#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "platform/status_text.h"
#include "script/script_run.h"
#include "script/script_runner.h"
#include "script/script_text.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;

using Words = std::vector<std::string>;

// The words of each line parsed, then its block lines when it has a block.
std::vector<Words> WordsOf(const std::vector<ScriptLine>& lines) {
    std::vector<Words> words;
    for (const ScriptLine& line : lines) {
        words.push_back(line.words);
        if (line.hasBlock) words.push_back(line.block);
    }
    return words;
}

TEST(ScriptText, LinesArgumentsQuotesCommentsAndBlocks) {
    std::vector<std::string> problems;
    const std::string text =
        "# a comment line\r\n"
        "\r\n"
        "   x_output_folder   html-L ,  out put/pages  # where the pages go\r\n"
        "text_file notes.txt, w, \"one, two # three\"  \r\n"
        "in_x_out {\r\n"
        "  logs/*.gpx # kept verbatim\r\n"
        "\"quoted\", too\r\n"
        "}\r\n"
        "set gpx_read_rte,TRUE\r\n"
        "x_option ,, width=4,\r\n"
        "end";  // no line break at the end
    const std::vector<ScriptLine> lines = ParseScript(text, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(WordsOf(lines), (std::vector<Words>{{"x_output_folder", "html-L", "out put/pages"},
                                                  {"text_file", "notes.txt", "w", "one, two # three"},
                                                  {"in_x_out", "{"},
                                                  {"  logs/*.gpx # kept verbatim", "\"quoted\", too"},
                                                  {"set", "gpx_read_rte", "TRUE"},
                                                  {"x_option", "", "", "width=4", ""},
                                                  {"end"}}));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(std::pair(lines[0].lineNumber, lines[5].lineNumber), std::pair(3, 11));

    // Quoted blanks stay; a brace in a comment opens nothing.
    problems.clear();
    EXPECT_EQ(WordsOf(ParseScript("pause \"  two  \"  \ncd x # {\nmd y\n", problems)),
              (std::vector<Words>{{"pause", "  two  "}, {"cd", "x"}, {"md", "y"}}));

    // Malformed: an unpaired quote runs to the end of its line; a block that
    // is never closed takes the rest of the script. Both are reported.
    auto broken =
        ParseScript("pause \"open, text # not a comment\r\ntext_file a, w, {\r\nline 1\r\nline 2\r\n", problems);
    EXPECT_EQ(WordsOf(broken),
              (std::vector<Words>{
                  {"pause", "open, text # not a comment"}, {"text_file", "a", "w", "{"}, {"line 1", "line 2"}}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("line 1:"), std::string::npos);
    EXPECT_NE(problems[1].find("line 2:"), std::string::npos);

    // A closing line with text before its brace is the block's last line.
    problems.clear();
    EXPECT_EQ(WordsOf(ParseScript("text_file a, w, {\nx\n  last}\nend\n", problems)),
              (std::vector<Words>{{"text_file", "a", "w", "{"}, {"x", "  last}"}, {"end"}}));
}

using test::ScriptRunner;

TEST(ScriptRun, FormatsGraphsOptionsFiltersAndSettings) {
    ScriptRunner run;
    ScriptState state =
        run.Execute("x_output_format q9z, HTML-l, kmz, svg_th, svg-dv, SVG_TH, svg_eu, svg_dh, svg_tv, emf_dx\n");
    EXPECT_EQ(state.formats, kOutputQ9z | kOutputHtmlLeaflet | kOutputKmz | kOutputSvg | kOutputEmf);
    // Five svg graphs kept, the sixth ignored; the newest in the lowest bits.
    EXPECT_EQ(GraphCount(state.svgGraphs), 5);
    EXPECT_EQ(state.svgGraphs >> 24, (1u | 1u << 3));           // svg_th, the first
    EXPECT_EQ((state.svgGraphs >> 18) & 0x3F, (3u | 3u << 3));  // svg-dv
    EXPECT_EQ((state.svgGraphs >> 12) & 0x3F, (1u | 1u << 3));  // svg_TH as svg_th
    EXPECT_EQ(state.svgGraphs & 0x3F, (3u | 1u << 3));          // svg_dh; svg_tv is ignored
    EXPECT_EQ(state.emfGraphs, 3u);                             // an unknown letter leaves its axis 0

    state = run.Execute(
        "x_option merge_interval=30, width=5, save_name_prefix=date_and_time\n"
        "x_option merge_interval, color=default\n");
    EXPECT_EQ(state.options, kOptionMergeInterval | kOptionDefaultColors);
    EXPECT_EQ(std::tuple(state.mergeIntervalSeconds, state.lineWidth, state.namePrefixMode),
              std::tuple(30 * 60, 5, kPrefixDateAndTime));
    state = run.Execute("x_option merge_interval=30\nx_option erase_sswp\n");
    EXPECT_EQ(state.options, kOptionEraseStandstills);
    EXPECT_EQ(state.mergeIntervalSeconds, 30 * 60);
    WriteFile(run.folder / "dates.txt", "20230101\n");
    state = run.Execute("x_option save_name_prefix=dtlist=" + (run.folder / "dates.txt").string() +
                        ", monotonic_check, monotonic_sortf\n");
    EXPECT_EQ(state.namePrefixMode, kPrefixDateList);
    EXPECT_EQ(state.dateListPath, run.folder / "dates.txt");
    EXPECT_EQ(state.options, kOptionNamePrefix | kOptionCheckOrder | kOptionSortFiles);
    state = run.Execute("x_option save_name_prefix=dtlist=missing.txt\n");
    EXPECT_EQ(state.namePrefixMode, kPrefixDate);

    state = run.Execute("x_input_filter name, 3, between, 2023, 2024\n");
    EXPECT_EQ(std::tie(state.filterKind, state.filterPosition, state.filterText, state.filterTextEnd),
              std::tuple(FilterKind::kBetween, 2, u"2023", u"2024"));
    state = run.Execute("x_input_filter name, 1, after, 2023\nx_input_filter name, 1, sideways, " +
                        std::string(300, 'z') + "\nx_input_filter size, 5, before, 1\n");
    // An unknown kind keeps the last one; the text is cut.
    EXPECT_EQ(std::tuple(state.filterKind, state.filterText.size(), state.filterPosition),
              std::tuple(FilterKind::kAfter, 127u, 0));

    run.Execute("set gpx_read_rte, TRUE\nset meters_less_than, 12.5\nset gmap_api_key, " + std::string(80, 'k') +
                "\nset itm_read_data, .bin\nset itm_arch_data, single\ngrp_v_avg_pts 0\ngrp_svg_dpi 300\n"
                "grp_client_size 640, 480\ngrp_font_num \"Noto Sans CJK JP\", 11\ngrp_font_label , 9\n"
                "grp_emf_ref_printer Office Printer\nset nothing, 1\nunknown_command x\n");
    EXPECT_EQ(run.store.readGpxRoutes, 1);
    EXPECT_EQ(run.settings.ssmeterslessthan, 12);
    EXPECT_EQ(run.settings.gmapApiKeyInEffect, std::string(63, 'k'));
    EXPECT_EQ(std::tuple(run.settings.itmReadPoi, run.settings.itmKeepBoth, run.store.speedWindow),
              std::tuple(0, 0, 1));
    const GraphSettings& g = run.settings.graph;
    EXPECT_EQ(std::to_string(g.svgDpi) + " " + std::to_string(g.clientWidth) + "x" + std::to_string(g.clientHeight),
              "300 640x480");
    EXPECT_EQ(std::tie(g.numberFont.name, g.numberFont.size, g.labelFont.name, g.labelFont.size, g.referencePrinter),
              std::tuple(u"Noto Sans CJK JP", 11, u"Arial", 9, "Office Printer"));
    run.Execute("set gpx_read_rte, yes\ngrp_v_avg_pts 7\n");
    EXPECT_EQ(std::pair(run.store.readGpxRoutes, run.store.speedWindow), std::pair(0, 7));
}

TEST(ScriptRun, FilesFoldersAndTheEnd) {
    ScriptRunner run;
    test::MessageCatcher catcher;
    ASSERT_EQ(run.Run("md out/deep/er\n"
                      "x_output_folder svg, graphs\n"
                      "text_file out/notes.txt, w, \"one, two # three\"\n"
                      "text_file out/notes.txt, a, {\n"
                      "  indented, \"as is\" # too\n"
                      "}\n"
                      "cd out\n"
                      "text_file here.txt, w, in out\n"
                      "pause \"half way\"\n"
                      "end\n"
                      "text_file after.txt, w, never\n"),
              0);
    EXPECT_TRUE(fs::is_directory(run.folder / "out/deep/er"));
    EXPECT_TRUE(fs::is_regular_file(run.folder / "graphs/.nomedia"));
    EXPECT_EQ(ReadFile(run.folder / "out/notes.txt"), "one, two # three\r\n  indented, \"as is\" # too\r\n");
    EXPECT_EQ(ReadFile(run.folder / "out/here.txt"), "in out\r\n");
    EXPECT_FALSE(fs::exists(run.folder / "out/after.txt"));
    EXPECT_FALSE(fs::exists(run.folder / "after.txt"));
    EXPECT_TRUE(catcher.Saw("half way"));
    // The paths were taken against the script's folder; the process stayed where it was.
    EXPECT_EQ(fs::current_path(), run.previous);
    EXPECT_FALSE(fs::exists(run.previous / "out"));

    // A cd to a missing folder leaves the folder as it was; commands are known in any case.
    ASSERT_EQ(run.Run("Cd nowhere\nTEXT_FILE stays.txt, w, x\n"), 0);
    EXPECT_TRUE(fs::is_regular_file(run.folder / "stays.txt"));
    EXPECT_EQ(fs::current_path(), run.previous);

    // No final line break: the last line still runs.
    ASSERT_EQ(run.Run("text_file last.txt, w, done"), 0);
    EXPECT_EQ(ReadFile(run.folder / "last.txt"), "done\r\n");
    // A mode other than writing or appending is refused.
    ASSERT_EQ(run.Run("text_file mode.txt, r+, x\n"), 0);
    EXPECT_FALSE(fs::exists(run.folder / "mode.txt"));
    EXPECT_EQ(RunScript(run.folder / "missing.q9s", run.settings, run.store), -1);
}

// Collects the status texts of a run.
struct StatusCatcher {
    std::vector<std::string> texts;
    StatusCatcher() { SetStatusTextHandler(&Handle, this); }
    ~StatusCatcher() { SetStatusTextHandler(nullptr, nullptr); }
    static void Handle(void* context, std::string_view text) {
        static_cast<StatusCatcher*>(context)->texts.emplace_back(text);
    }
    bool Saw(std::string_view fragment) const {
        for (const std::string& text : texts) {
            if (text.find(fragment) != std::string::npos) return true;
        }
        return false;
    }
};

// A malformed script runs what it can and says what it skipped.
TEST(ScriptRun, MalformedScriptsSayWhatTheySkip) {
    const std::pair<std::string, const char*> lines[] = {
        {"x_output_folder svg", "script line 1: x_output_folder needs a format and a folder"},
        {"cd", "script line 2: cd needs a path"},
        {"md " + std::string(300, 'd'), "script line 3: the path is longer than 259 units"},
        {"in_x_out", "script line 4: in_x_out needs a file pattern"},
        {"set gpx_read_rte", "script line 5: set needs a name and a value"},
        {"grp_client_size 0, 10", "script line 6: the graph size must be positive"},
        {"x_output_format html-L", nullptr},
        {"x_output_index missing/folder/index.htm", "x_output_index Error"},
        {"text_file \"ok.txt, w, unclosed", "script line 9: a double quote is not closed"},
        {"text_file fine.txt, w, still runs", nullptr},
        {"text_file open.txt, w, {\ninside the block", "script line 11: the block is not closed"},
    };
    std::string script;
    for (const auto& [line, status] : lines) script += line + "\n";
    ScriptRunner run;
    StatusCatcher status;
    test::MessageCatcher messages;
    // The index cannot be written: the run goes on and ends with result 1.
    ASSERT_EQ(run.Run(script), 1);
    for (const auto& [line, text] : lines) EXPECT_TRUE(!text || status.Saw(text)) << line;
    EXPECT_TRUE(messages.Saw("Cannot write the file: its folder does not exist.\n"));
    EXPECT_TRUE(messages.Saw("missing/folder/index.htm"));
    std::error_code ec;
    EXPECT_FALSE(fs::exists(run.folder / std::string(300, 'd'), ec));
    EXPECT_EQ(run.settings.graph.clientWidth, 500);
    EXPECT_EQ(ReadFile(run.folder / "fine.txt"), "still runs\r\n");
    EXPECT_EQ(ReadFile(run.folder / "open.txt"), "inside the block\r\n");
    EXPECT_EQ(status.texts.back(), "Script Execution Completed");
}

}  // namespace
}  // namespace trakvio
