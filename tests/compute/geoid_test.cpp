#include "compute/geoid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "archive/load_front_end.h"
#include "config/geoid_config.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;
using test::WriteFile;

constexpr const char* kEgm1 = "Und_min1x1_egm2008_isw=82_WGS84_TideFree_SE";
constexpr const char* kEgm25 = "Und_min2.5x2.5_egm2008_isw=82_WGS84_TideFree_SE";

// Undulation of an EGM2008 test node (row from the south, column from 0° east).
float EgmNode(int row, int column) { return static_cast<float>(row % 64) + static_cast<float>(column) / 10000.0f; }

// A sparse full-size EGM2008 grid of k cells per degree: only rows rowFrom..rowTo
// (from the south) hold markers and values, so reading any other row fails.
void WriteEgm(const fs::path& path, int k, int rowFrom, int rowTo) {
    const int64_t period = 360 * k, rows = 180 * k + 1, record = period * 4 + 8;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    auto put32 = [&](uint32_t bits) { std::fwrite(&bits, 4, 1, file); };  // little-endian hosts
    for (int r = rowFrom; r <= rowTo; ++r) {
        fseeko(file, (rows - 1 - r) * record, SEEK_SET);
        put32(static_cast<uint32_t>(period * 4));
        for (int c = 0; c < period; ++c) put32(std::bit_cast<uint32_t>(EgmNode(r, c)));
        put32(static_cast<uint32_t>(period * 4));
    }
    std::fclose(file);
    fs::resize_file(path, static_cast<uintmax_t>(rows * record));
}

// A GSIGEO2011-style ASCII grid of 3 rows by 30 columns from 35°N 139°E, steps
// 0.5° by 0.25°, so each row takes two lines (28 + 2 values). Node (r, c) holds
// 10r + 0.1c + 0.01rc; node (1, 29) has no datum.
std::string AsciiGrid() {
    char line[64];
    std::snprintf(line, sizeof line, "%10.5f%10.5f%9.6f%9.6f%5d%5d  ver2.2\n", 35.0, 139.0, 0.5, 0.25, 3, 30);
    std::string text = line;
    for (int i = 0; i < 90; ++i) {
        const int r = i / 30, c = i % 30;
        std::snprintf(line, sizeof line, "%9.4f%s", r == 1 && c == 29 ? 999.0 : 10 * r + 0.1 * c + 0.01 * r * c,
                      c == 27 || c == 29 ? "\r\n" : "");
        text += line;
    }
    return text;
}

// An ISG grid, rows from the north, of 3 x 4 nodes from 35°N 139°E every 0.5° x 0.25°
// (the header gives cell edges); node (r, c) holds r + c / 10, (2, 3) is no-data.
std::string IsgGrid() {
    std::string text =
        "begin_of_head ====\nmodel name     : test\nlat min        =   34.750000\nlat max        =   36.250000\n"
        "lon min        =  138.875000\nlon max        =  139.875000\ndelta lat      =    0.500000\n"
        "delta lon      =    0.250000\nnrows          =          3\nncols          =          4\n"
        "nodata         = -9999.0000\nend_of_head ====\n";
    char value[16];
    for (int i = 0; i < 12; ++i) {
        const int r = 2 - i / 4, c = i % 4;
        std::snprintf(value, sizeof value, "%11.4f%s", r == 2 && c == 3 ? -9999.0 : r + c / 10.0, c == 3 ? "\n" : "");
        text += value;
    }
    return text;
}

// Loads text written as name, the whole grid or the region given by two corners (latitude, longitude).
GeoidModel LoadText(const ScratchFolder& scratch, const char* name, const std::string& text, int expected,
                    std::array<double, 4> corners = {}) {
    WriteFile(scratch / name, text);
    GeoidModel model;
    EXPECT_EQ(LoadGeoidModel(model, scratch / name, corners[0], corners[1], corners[2], corners[3]), expected);
    return model;
}

TEST(GeoidUndulation, HandComputedNodesCellsMissingDataAndOutside) {
    ScratchFolder scratch;
    const GeoidModel model = LoadText(scratch, "grid.asc", AsciiGrid(), kGeoidGsiAscii);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5, 35.5), 10.22f);                // node (1, 2)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5 - 2e-6, 35.5 + 2e-6), 10.22f);  // within 1e-5 of a node
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.375, 35.0), 0.15f);               // between (0, 1) and (0, 2)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.25, 35.125), 2.6025f);            // 0.75 * 0.1 + 0.25 * 10.11
    // (1,3) 10.33, (1,4) 10.44, (2,3) 20.36, (2,4) 20.48 weighted 3/8, 1/8, 3/8, 1/8.
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.8125, 35.75), 15.37375f);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.25, 35.0), 2.9f);    // node (0, 29): second line of the row
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.25, 36.0), 23.48f);  // the last node itself
    EXPECT_EQ(GeoidUndulation(model, 146.25, 35.5), 0.0f);          // the node without datum
    EXPECT_EQ(GeoidUndulation(model, 146.125, 35.25), 0.0f);        // in a cell next to it
    EXPECT_EQ(GeoidUndulation(model, 138.9, 35.5), 0.0f);           // west of the grid
    EXPECT_EQ(GeoidUndulation(model, 139.5, 34.9), 0.0f);           // south of it
    EXPECT_EQ(GeoidUndulation(model, 146.3, 35.0), 0.0f);           // beyond the last column, not on a node
    EXPECT_EQ(GeoidUndulation(model, 139.5, 36.2), 0.0f);           // beyond the last row

    const GeoidModel isg = LoadText(scratch, "grid.isg", IsgGrid(), kGeoidIsg);  // nodes from cell edges
    EXPECT_FLOAT_EQ(GeoidUndulation(isg, 139.0, 35.5), 1.0f);
    EXPECT_FLOAT_EQ(GeoidUndulation(isg, 139.5, 36.0), 2.2f);
    EXPECT_FLOAT_EQ(GeoidUndulation(isg, 139.125, 35.5), 1.05f);
    EXPECT_EQ(GeoidUndulation(isg, 139.75, 36.0), 0.0f);  // no-data node
}

TEST(GeoidModel, AsciiRegionAcrossTheLinesOfARow) {
    ScratchFolder scratch;
    const GeoidModel model = LoadText(scratch, "GRID.ASC", AsciiGrid(), kGeoidGsiAscii, {35.6, 145.6, 35.4, 146.4});
    EXPECT_EQ(model.nx, 4);                                         // columns 26..29, beyond the east edge clipped
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 145.75, 36.0), 23.24f);  // node (2, 27)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.0, 35.0), 2.8f);     // node (0, 28)
    EXPECT_EQ(GeoidUndulation(model, 145.25, 35.0), 0.0f);          // outside the part loaded
}

TEST(GeoidModel, Egm2008RegionReadsOnlyItsRows) {
    ScratchFolder scratch;
    const fs::path path = scratch / kEgm1;
    WriteEgm(path, 60, 125 * 60, 126 * 60);  // 35°N to 36°N
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, path, 35, 139, 36, 140), kGeoidEgm2008);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 140.0, 36.0), EgmNode(126 * 60, 140 * 60));
    const float sw = EgmNode(7530, 8370), nw = EgmNode(7531, 8370), se = EgmNode(7530, 8371);
    EXPECT_NEAR(GeoidUndulation(model, 139.5 + 0.25 / 60, 35.5 + 0.5 / 60),
                0.375 * sw + 0.375 * nw + 0.125 * se + 0.125 * EgmNode(7531, 8371), 1e-4);
    EXPECT_EQ(GeoidUndulation(model, 138.99, 35.5), 0.0f);
    EXPECT_EQ(DescribeGeoidModel(model, kGeoidEgm2008).text,
              "Geoid model: EGM2008 (NGA)\nGeoid grid :  1.00' x  1.00'\nGrid points: 61 x 61 (14,884 bytes)\n"
              "  Longitude:  139.00 -  140.00 deg\n  Latitude :   35.00 -   36.00 deg\n");
    // One row further north is not in the file: the reader would meet a zero marker.
    EXPECT_EQ(LoadGeoidModel(model, path, 35, 139, 36.02, 140), kGeoidEgmFailed);
    EXPECT_EQ(model.loaded, 0);
}

TEST(GeoidModel, Egm2008RegionsAroundZeroLongitude) {
    ScratchFolder scratch;
    const fs::path path = scratch / kEgm25;
    WriteEgm(path, 24, 140 * 24, 141 * 24);  // 50°N to 51°N
    const int row = 140 * 24 + 12;           // 50.5°N
    const float acrossZero = (EgmNode(row, 8639) + EgmNode(row, 0)) / 2;
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, path, 50, 1, 51, -1), kGeoidEgm2008);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, -0.5, 50.5), EgmNode(row, 8640 - 12));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 359.5, 50.5), EgmNode(row, 8640 - 12));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 0.5, 50.5), EgmNode(row, 12));
    EXPECT_NEAR(GeoidUndulation(model, -1.0 / 48, 50.5), acrossZero, 1e-4);
    EXPECT_EQ(GeoidUndulation(model, 1.5, 50.5), 0.0f);
    // Whole rows: the last column goes on into the first.
    ASSERT_EQ(LoadGeoidModel(model, path, 50, 0, 51, 0), kGeoidEgm2008);
    EXPECT_NEAR(GeoidUndulation(model, 360 - 1.0 / 48, 50.5), acrossZero, 1e-4);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, -90.0, 50.5), EgmNode(row, 270 * 24));
}

TEST(GeoidModel, UnknownMissingAndMalformedFilesGiveNegativeCodes) {
    ScratchFolder scratch;
    const std::string ascii = AsciiGrid(), isg = IsgGrid();
    const std::pair<std::string, int> cases[] = {
        {ascii.substr(0, ascii.size() - 20), kGeoidAsciiBad},                // values missing
        {std::string(ascii).replace(38, 10, "9999999999"), kGeoidAsciiBad},  // 99999 x 99999 values
        {std::string(ascii).replace(20, 9, "   0.0000"), kGeoidAsciiBad},    // zero step
        {isg.substr(0, isg.find("end_of_head")), kGeoidIsgBad},              // header without end
        {std::string(isg).replace(isg.find("ncols          =          4"), 27, "ncols =  40000000"), kGeoidIsgBad},
    };
    for (const auto& [text, result] : cases) {
        const GeoidModel model = LoadText(scratch, result == kGeoidAsciiBad ? "bad.asc" : "bad.isg", text, result);
        EXPECT_EQ(model.loaded, 0);
    }
    LoadText(scratch, "grid.txt", ascii, kGeoidUnknownKind);
    GeoidModel model;
    EXPECT_EQ(LoadGeoidModel(model, scratch / kEgm1, 0, 0, 0, 0), kGeoidEgmFailed);  // not there
    EXPECT_EQ(LoadGeoidModel(model, scratch / "none.ISG", 0, 0, 0, 0), kGeoidIsgOpen);
    // EGM2008 short of its full size, or a row whose marker is not the row length.
    const fs::path egm = scratch / kEgm25;
    WriteEgm(egm, 24, 0, 0);
    fs::resize_file(egm, fs::file_size(egm) - 1);
    EXPECT_EQ(LoadGeoidModel(model, egm, -90, 0, -90.5, 0), kGeoidEgmFailed);
    WriteEgm(egm, 24, 0, 0);
    EXPECT_EQ(LoadGeoidModel(model, egm, -90, 10, -89.9, 11), kGeoidEgmFailed);
    EXPECT_EQ(model.loaded, 0);
}

TEST(GeoidModel, ConfiguredModelCorrectsLoadedPoints) {
    ScratchFolder scratch;
    WriteFile(scratch / "grid.asc", AsciiGrid());
    WriteFile(scratch / "walk.gpx",
              "<gpx><trk><trkseg><trkpt lat=\"35.5\" lon=\"139.5\"><ele>100</ele></trkpt>"
              "<trkpt lat=\"35.125\" lon=\"139.25\"><ele>50</ele></trkpt>"
              "<trkpt lat=\"40\" lon=\"139.5\"><ele>7</ele></trkpt></trkseg></trk></gpx>\n");
    Settings settings;
    EXPECT_EQ(LoadConfiguredGeoidModel(settings), kGeoidUnknownKind);  // none configured
    settings.geoidModelFile = scratch / "grid.asc";
    std::copy_n(std::begin({35.0, 36.0, 139.0, 140.0}), 4, settings.geoidBounds);  // latitudes, then longitudes
    ASSERT_EQ(LoadConfiguredGeoidModel(settings), kGeoidGsiAscii);
    EXPECT_EQ(settings.geoidModel.nx, 5);
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 100, 10), 0);
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "walk.gpx"), kLoadDone);
    ASSERT_EQ(store.pointCount, 3);
    EXPECT_FLOAT_EQ(store.points[0].geoidAltitude, 100 - 10.22f);
    EXPECT_FLOAT_EQ(store.points[1].geoidAltitude, 50 - 2.6025f);
    EXPECT_FLOAT_EQ(store.points[2].geoidAltitude, 7);  // outside the model
}

}  // namespace
}  // namespace trakvio
