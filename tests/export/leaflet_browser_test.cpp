// The Leaflet page in a real browser: a page written from a test store is
// opened in headless Chromium with a local copy of Leaflet, and the DOM the
// browser ends with is checked: one drawn line per track with points, the
// tooltip and popup texts as the user reads them, and no trace of the scripts
// that hostile track names and titles carry.
//
// Leaflet is looked for in TRAKVIO_LEAFLET_DIR, else in npm/node_modules/
// leaflet/dist of the build folder (scripts/fetch-leaflet.sh BUILD/npm puts
// it there). Chromium is TRAKVIO_CHROMIUM, else "chromium" on the PATH. A
// missing browser or Leaflet fails the test with how to install it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "export/web_map_page.h"
#include "export_test_store.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

fs::path LeafletDist() {
    if (const char* folder = std::getenv("TRAKVIO_LEAFLET_DIR"); folder && *folder) return folder;
    return fs::path(TRAKVIO_CLI_PATH).parent_path() / "npm" / "node_modules" / "leaflet" / "dist";
}

// Text as the DOM serialiser writes it back: & < > (and no-break spaces).
std::string Unescape(std::string text) {
    const std::pair<std::string_view, std::string_view> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\u00A0"}, {"&amp;", "&"}};
    for (auto [entity, c] : entities) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + c.size())) {
            text.replace(at, entity.size(), c);
        }
    }
    return text;
}

// The contents of every element whose opening tag starts with `open`.
std::vector<std::string> ElementTexts(std::string_view dom, std::string_view open, std::string_view close) {
    std::vector<std::string> texts;
    for (size_t at = dom.find(open); at != std::string_view::npos; at = dom.find(open, at + 1)) {
        const size_t start = dom.find('>', at);
        const size_t end = dom.find(close, start);
        if (start == std::string_view::npos || end == std::string_view::npos) break;
        texts.push_back(Unescape(std::string(dom.substr(start + 1, end - start - 1))));
    }
    return texts;
}

// The opening tags of the SVG paths Leaflet drew.
std::vector<std::string> PathTags(std::string_view dom) {
    std::vector<std::string> tags;
    for (size_t at = dom.find("<path"); at != std::string_view::npos; at = dom.find("<path", at + 1)) {
        tags.emplace_back(dom.substr(at, dom.find('>', at) - at));
    }
    return tags;
}

// After the page's own script: opens every tooltip (they may all be open at
// once) and every popup in turn, noting the text each shows, then marks the
// probe as done. Appended behind the page, it reads only what the page made.
constexpr std::string_view kProbe = R"(<script>
(function () {
  var notes = document.createElement('div');
  notes.id = 'probe';
  document.body.appendChild(notes);
  function note(kind, text) {
    var pre = document.createElement('pre');
    pre.className = kind;
    pre.textContent = text;
    notes.appendChild(pre);
  }
  map.eachLayer(function (layer) {
    if (layer.getTooltip && layer.getTooltip()) layer.openTooltip();
    if (layer.getPopup && layer.getPopup()) {
      layer.openPopup();
      var shown = layer.getPopup().getElement();
      var content = shown && shown.querySelector('.leaflet-popup-content');
      note('probe-popup', content ? content.innerText : '(no popup shown)');
    }
  });
  note('probe-title', document.title);
  note('probe-done', 'done');
})();
</script>
)";

TEST(LeafletBrowser, DrawsTracksShowsTextsAndRunsNoInjectedScript) {
    const fs::path dist = LeafletDist();
    ASSERT_TRUE(fs::exists(dist / "leaflet.js") && fs::exists(dist / "leaflet.css"))
        << "Leaflet is not at " << dist << "; install it with scripts/fetch-leaflet.sh "
        << fs::path(TRAKVIO_CLI_PATH).parent_path() / "npm"
        << " (npm install leaflet@1.9.4), or point TRAKVIO_LEAFLET_DIR at its dist folder";
    const std::string chromium = test::ChromiumPath();
    ASSERT_FALSE(chromium.empty()) << "headless Chromium is needed: apt-get install chromium "
                                      "(or set TRAKVIO_CHROMIUM to the browser)";

    test::ScopedTimeZone utc("UTC");
    const std::string injected = "document.title='pwned';document.documentElement.setAttribute('data-pwned','1')";
    std::vector<test::TestTrack> tracks = test::SmallTracks();  // walk, all deleted, night ride
    tracks.push_back({u"</script><script>" + std::u16string(injected.begin(), injected.end()) + u"</script>",
                      {{35.05, 139.05, 0, test::kMay1, 1}, {35.06, 139.06, 0, test::kMay1 + 600, 1}},
                      0x00FF00,
                      4,
                      1.2});
    tracks.push_back({u"<img src=x onerror=\"document.documentElement.setAttribute('data-pwned','2')\">\"q\\'",
                      {{35.07, 139.02, 0, test::kMay1, 1}, {35.08, 139.03, 0, test::kMay1, 1}},
                      0xABCDEF,
                      2,
                      0.5});
    TrackStore store;
    test::FillStore(store, tracks);

    Settings settings = test::SmallSettings();
    // Tiles from nowhere: the test needs no network.
    settings.baseMaps[0].urlTemplate = u"file:///nonexistent/{z}/{x}/{y}.png";
    settings.baseMaps[1].urlTemplate =
        u"file:///nonexistent/\"</script><script>document.title='pwned'</script>/{z}/{x}/{y}.png";
    settings.overlayMaps[0].urlTemplate = u"file:///nonexistent/hill/{z}/{x}/{y}.png";
    settings.leafletcss = "file://" + (dist / "leaflet.css").string();
    settings.leafletjs = "file://" + (dist / "leaflet.js").string();

    test::ScratchFolder scratch;
    const fs::path page = scratch / "page.htm";
    ASSERT_EQ(WriteLeafletPage(page, u"</title><script>document.title='pwned'</script>", store, settings,
                               store.allMinLat, store.allMaxLat, store.allMinLon, store.allMaxLon),
              kExportDone);
    test::WriteFile(page, test::ReadFile(page) + std::string(kProbe));

    std::string dom, err;
    const int status = test::RunCommand("timeout 120 " + test::ShellQuote(chromium) +
                                            " --headless --disable-gpu --no-sandbox --no-first-run"
                                            " --user-data-dir=" +
                                            test::ShellQuote((scratch / "profile").string()) +
                                            " --window-size=1024,768 --virtual-time-budget=5000 --dump-dom " +
                                            test::ShellQuote("file://" + page.string()),
                                        &dom, &err);
    ASSERT_EQ(status, 0) << err;
    ASSERT_EQ(ElementTexts(dom, "<pre class=\"probe-done\"", "</pre>").size(), 1u)
        << "the page's script did not run to its end\n"
        << dom;

    // No injected script ran: the title and the root element are the page's.
    EXPECT_EQ(ElementTexts(dom, "<pre class=\"probe-title\"", "</pre>"),
              std::vector<std::string>{"</title><script>document.title='pwned'</script>"});
    const std::string root = dom.substr(dom.find("<html"), dom.find('>', dom.find("<html")) - dom.find("<html"));
    EXPECT_EQ(root.find("data-pwned"), std::string::npos) << root;
    EXPECT_EQ(test::CountOf(dom, "<img src=\"x\""), 0u);

    // One line per track with points (lines are drawn unfilled; the start
    // markers are filled circles), in the track's colour and width.
    size_t lines = 0;
    for (const std::string& tag : PathTags(dom)) lines += tag.find("fill=\"none\"") != std::string::npos;
    EXPECT_EQ(lines, 4u) << dom;
    for (std::string_view style : {"stroke=\"#FF0000\" stroke-opacity=\"0.8\" stroke-width=\"3\"",
                                   "stroke=\"#0000FF\" stroke-opacity=\"0.8\" stroke-width=\"5\"",
                                   "stroke=\"#00FF00\" stroke-opacity=\"0.8\" stroke-width=\"4\"",
                                   "stroke=\"#ABCDEF\" stroke-opacity=\"0.8\" stroke-width=\"2\""}) {
        EXPECT_EQ(test::CountOf(dom, style), 1u) << style;
    }
    EXPECT_EQ(test::CountOf(dom, "stroke=\"#00FF00\" stroke-opacity=\"0.8\" stroke-width=\"2\""), 0u);

    // Tooltips and popups show the names as plain text.
    const std::string hostileShown = "</script><script>" + injected + "</script>";
    const std::string imageShown =
        "<img src=x onerror=\"document.documentElement.setAttribute('data-pwned','2')\">\"q\\'";
    // Each shows twice: on the line and on its start marker.
    const std::string figures[] = {"\nd=1.250km t=1:30:00 v=0.83km/h\n2024-05-01 08:00:00 - 09:30:00",
                                   "\nd=9.100km t=0:45:30 v=12.00km/h\n2024-05-01 23:30:00 - 2024-05-02 00:15:30",
                                   "\nd=1.200km t=0:10:00 v=7.20km/h\n2024-05-01 00:00:00 - 00:10:00",
                                   "\nd=0.500km t=0:00:00 v=0.00km/h\n2024-05-01 00:00:00 - 00:00:00"};
    const std::string names[] = {"walk", "Night ride", hostileShown, imageShown};
    std::multiset<std::string> expectedTooltips, expectedPopups;
    for (int i = 0; i < 8; ++i) {
        expectedTooltips.insert(names[i % 4]);
        expectedPopups.insert(names[i % 4] + figures[i % 4]);
    }
    const std::vector<std::string> tooltips = ElementTexts(dom, "<div class=\"leaflet-tooltip", "</div>");
    const std::vector<std::string> popups = ElementTexts(dom, "<pre class=\"probe-popup\"", "</pre>");
    EXPECT_EQ(std::multiset<std::string>(tooltips.begin(), tooltips.end()), expectedTooltips);
    EXPECT_EQ(std::multiset<std::string>(popups.begin(), popups.end()), expectedPopups);
}

}  // namespace
}  // namespace trakvio
