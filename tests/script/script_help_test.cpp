// The script help page that ships beside the program: every example in it
// uses commands the interpreter knows, reads without problems and runs
// through trakvio-cli on the example logs.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "script/script_run.h"
#include "script/script_runner.h"
#include "script/script_text.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

std::string Unescape(std::string text) {
    text = std::regex_replace(text, std::regex("<[^>]*>"), "");
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
            text.replace(at, std::string_view(from).size(), to);
        }
    }
    return text;
}

// The examples of the page: the text of every <pre class="q9s"> block.
std::vector<std::string> Examples() {
    const std::string page = test::ReadFile(test::SourceDir() / "data/help/q9script_sample.htm");
    std::vector<std::string> examples;
    const std::string open = "<pre class=\"q9s\">";
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t start = at + open.size();
        examples.push_back(Unescape(page.substr(start, page.find("</pre>", start) - start)));
    }
    return examples;
}

TEST(ScriptHelp, DocumentedCommandsAndEveryExampleAreKnownToTheInterpreter) {
    // The English command table (between "<h2>Commands</h2>" and the next heading) names each command in a <code>
    // cell.
    const std::string whole = test::ReadFile(test::SourceDir() / "data/help/q9script_sample.htm");
    const size_t from = whole.find("<h2>Commands</h2>");
    ASSERT_NE(from, std::string::npos);
    const std::string page = whole.substr(from, whole.find("<h3>", from) - from);
    const std::regex documented("<td><code>([a-z_]+)</code>");
    std::set<std::string> words;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), documented); it != std::sregex_iterator(); ++it) {
        words.insert((*it)[1]);
    }
    EXPECT_GE(words.size(), 15u);
    for (const std::string& word : words) EXPECT_TRUE(IsScriptCommand(word)) << word;
    EXPECT_TRUE(IsScriptCommand("X_Output_Format"));
    EXPECT_FALSE(IsScriptCommand("x_output"));

    const std::vector<std::string> examples = Examples();
    ASSERT_EQ(examples.size(), 12u);  // six in Japanese, six in English
    std::set<std::string> used;
    for (size_t i = 0; i < examples.size(); ++i) {
        SCOPED_TRACE("example " + std::to_string(i % 6 + 1) + (i < 6 ? " (ja)" : " (en)"));
        std::vector<std::string> problems;
        const std::vector<ScriptLine> lines = ParseScript(examples[i], problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        EXPECT_FALSE(lines.empty());
        for (const ScriptLine& line : lines) {
            ASSERT_FALSE(line.words.empty());
            EXPECT_TRUE(IsScriptCommand(line.words[0])) << "line " << line.lineNumber << ": " << line.words[0];
            used.insert(line.words[0]);
        }
    }
    // The examples show every command but the index-less ones a page never needs.
    EXPECT_GE(used.size(), 18u);
}

TEST(ScriptHelp, ExamplesRunOnTheExampleLogs) {
    test::ScratchFolder scratch;
    fs::copy(test::SourceDir() / "data/examples/logs", scratch / "logs");
    // Example 5 picks logs whose names start with their date.
    fs::copy_file(scratch / "logs/takao_hike.gpx", scratch / "logs/20230422_takao.gpx");
    fs::copy_file(scratch / "logs/kamakura_walk.kml", scratch / "logs/20230429_kamakura.kml");
    const std::vector<std::string> examples = Examples();
    ASSERT_EQ(examples.size(), 12u);
    for (size_t i = 6; i < examples.size(); ++i) {
        const int number = static_cast<int>(i) - 5;
        SCOPED_TRACE("example " + std::to_string(number));
        const fs::path script = scratch / ("example" + std::to_string(number) + ".q9s");
        test::WriteFile(script, examples[i]);
        std::string out, err;
        ASSERT_EQ(test::RunWithShippedIni(scratch.path(), script, &out, &err), 0) << err;
        EXPECT_EQ(err.find("script line"), std::string::npos) << err;
        EXPECT_EQ(err.find("monotonic_check Error"), std::string::npos) << err;
    }
    for (const char* written : {"pages/20230422_takao.htm", "maps.htm", "daily/archives/20230415_tamagawa_ride_1.q9z",
                                "graphs/takao_hike_th.svg", "graphs/takao_hike_eu.emf", "clean/takao_hike.kml",
                                "april/20230422_Takao.htm", "april/20230429_Kamakura.htm", "backup/logs.zip"}) {
        EXPECT_TRUE(fs::is_regular_file(scratch / written)) << written;
    }
    for (const char* skipped :
         {"daily/archives/20230415_tamagawa_ride_2.q9z", "april/kamakura_walk.htm", "never.zip"}) {
        EXPECT_FALSE(fs::exists(scratch / skipped)) << skipped;
    }
    EXPECT_EQ(test::ReadFile(scratch / "backup/log.txt"), "logs.zip, written by a script\r\n");
}

}  // namespace
}  // namespace trakvio
