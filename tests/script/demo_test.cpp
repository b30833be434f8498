// The demo of the README, end to end: the example logs converted by the demo
// script through trakvio-cli, and the index page it writes opened in headless
// Chromium, where every link must lead to a file the run wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "script/script_runner.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Hrefs(const std::string& dom) {
    std::vector<std::string> links;
    for (size_t pos = dom.find("<a href=\""); pos != std::string::npos; pos = dom.find("<a href=\"", pos + 1)) {
        const size_t start = pos + 9;
        links.push_back(dom.substr(start, dom.find('"', start) - start));
    }
    return links;
}

TEST(Demo, ConvertsTheExamplesIntoAnIndexWhoseLinksResolve) {
    test::ScratchFolder scratch;
    const fs::path demo = scratch / "demo";
    fs::copy(test::SourceDir() / "data/examples", demo, fs::copy_options::recursive);
    std::string out, err;
    ASSERT_EQ(test::RunWithShippedIni(scratch.path(), demo / "demo.q9s", &out, &err), 0) << err;
    // Three days: the two NMEA files of the ride merged into one output.
    for (const char* name : {"20230415_tamagawa_ride_1", "20230422_takao_hike", "20230429_kamakura_walk"}) {
        SCOPED_TRACE(name);
        const std::string base = name;
        EXPECT_TRUE(fs::is_regular_file(demo / "archives" / (base + ".q9z")));
        EXPECT_TRUE(fs::is_regular_file(demo / "kml" / (base + ".kml")));
    }
    EXPECT_FALSE(fs::exists(demo / "archives/20230415_tamagawa_ride_2.q9z"));
    EXPECT_EQ(test::ReadFile(demo / "done.txt"), "Demo converted: open index.htm\r\n");

    const std::string chromium = test::ChromiumPath();
    ASSERT_FALSE(chromium.empty()) << "headless Chromium is needed: apt-get install chromium "
                                      "(scripts/install-deps.sh does), or set TRAKVIO_CHROMIUM";
    std::string dom;
    ASSERT_EQ(test::RunCommand("timeout 120 " + test::ShellQuote(chromium) +
                                   " --headless --disable-gpu --no-sandbox --no-first-run --user-data-dir=" +
                                   test::ShellQuote((scratch / "profile").string()) + " --dump-dom " +
                                   test::ShellQuote("file://" + (demo / "index.htm").string()),
                               &dom, &err),
              0)
        << err;
    EXPECT_NE(dom.find("<title>index - Map List</title>"), std::string::npos) << dom;
    const std::vector<std::string> links = Hrefs(dom);
    // A page and two graphs for each of the three days.
    ASSERT_EQ(links.size(), 9u) << dom;
    for (const std::string& link : links) {
        EXPECT_TRUE(fs::is_regular_file(demo / link)) << link;
        EXPECT_GT(fs::file_size(demo / link), 500u) << link;
    }
    // Oldest first, as the script asks.
    EXPECT_LT(dom.find("2023/04/15"), dom.find("2023/04/22"));
    EXPECT_LT(dom.find("2023/04/22"), dom.find("2023/04/29"));
}

}  // namespace
}  // namespace trakvio
