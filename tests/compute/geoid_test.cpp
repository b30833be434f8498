#include "compute/geoid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "config/geoid_config.h"
#include "readers/log_loader.h"
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

// A sparse EGM2008 grid of k cells per degree at its full size, where only
// rows rowFrom..rowTo (from the south) hold markers and values: a reader that
// touches any other row finds a zero marker and fails.
void WriteEgm(const fs::path& path, int k, int rowFrom, int rowTo) {
    const int64_t period = 360 * k, rows = 180 * k + 1, record = period * 4 + 8;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    auto put32 = [&](uint32_t bits) {
        const unsigned char b[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                    static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
        std::fwrite(b, 1, 4, file);
    };
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
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 30; ++c) {
            const double value = r == 1 && c == 29 ? 999.0 : 10 * r + 0.1 * c + 0.01 * r * c;
            std::snprintf(line, sizeof line, "%9.4f", value);
            text += line;
            if (c == 27 || c == 29) text += "\r\n";
        }
    }
    return text;
}

// An ISG grid of 3 rows by 4 columns, nodes from 35°N 139°E every 0.5° by
// 0.25° (the header gives cell edges), rows from the north; node (r, c) holds
// r + c / 10, and node (2, 3) is no-data.
std::string IsgGrid() {
    std::string text =
        "begin_of_head ====\nmodel name     : test\nlat min        =   34.750000\nlat max        =   36.250000\n"
        "lon min        =  138.875000\nlon max        =  139.875000\ndelta lat      =    0.500000\n"
        "delta lon      =    0.250000\nnrows          =          3\nncols          =          4\n"
        "nodata         = -9999.0000\nend_of_head ====\n";
    char value[16];
    for (int r = 2; r >= 0; --r) {
        for (int c = 0; c < 4; ++c) {
            std::snprintf(value, sizeof value, "%11.4f", r == 2 && c == 3 ? -9999.0 : r + c / 10.0);
            text += value;
        }
        text += '\n';
    }
    return text;
}

TEST(GeoidUndulation, NodesLinesCellsAndMissingData) {
    ScratchFolder scratch;
    WriteFile(scratch / "grid.asc", AsciiGrid());
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, scratch / "grid.asc", 0, 0, 0, 0), kGeoidGsiAscii);
    EXPECT_EQ(model.loaded, 1);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5, 35.5), 10.22f);         // node (1, 2)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5, 35.5 + 2e-6), 10.22f);  // within 1e-5 of a cell
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5 - 2e-6, 35.5), 10.22f);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.375, 35.0), 0.15f);     // between (0, 1) and (0, 2)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.25, 35.125), 2.6025f);  // 0.75 * 0.1 + 0.25 * 10.11
    // (1,3) 10.33, (1,4) 10.44, (2,3) 20.36, (2,4) 20.48 weighted 3/8, 1/8, 3/8, 1/8.
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.8125, 35.75), 15.37375f);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.25, 35.0), 2.9f);  // node (0, 29): second line of the row

    EXPECT_EQ(GeoidUndulation(model, 146.25, 35.5), 0.0f);          // the node without datum
    EXPECT_EQ(GeoidUndulation(model, 146.125, 35.5), 0.0f);         // beside it on its row
    EXPECT_EQ(GeoidUndulation(model, 146.125, 35.25), 0.0f);        // in a cell next to it
    EXPECT_EQ(GeoidUndulation(model, 138.9, 35.5), 0.0f);           // west of the grid
    EXPECT_EQ(GeoidUndulation(model, 139.5, 34.9), 0.0f);           // south of it
    EXPECT_EQ(GeoidUndulation(model, 146.3, 35.0), 0.0f);           // beyond the last column, not on a node
    EXPECT_EQ(GeoidUndulation(model, 139.5, 36.2), 0.0f);           // beyond the last row
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.25, 36.0), 23.48f);  // the last node itself

    const GeoidModelInfo info = DescribeGeoidModel(model, kGeoidGsiAscii);
    EXPECT_EQ(info.title, "Installed Geoid model");
    EXPECT_EQ(info.text,
              "Geoid model: GSIGEO2011 (GSI)\nGeoid grid : 15.00' x 30.00'\nGrid points: 30 x 3 (360 bytes)\n"
              "  Longitude:  139.00 -  146.25 deg\n  Latitude :   35.00 -   36.00 deg\n");
}

TEST(GeoidModel, AsciiRegionAcrossTheLinesOfARow) {
    ScratchFolder scratch;
    WriteFile(scratch / "GRID.ASC", AsciiGrid());
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, scratch / "GRID.ASC", 35.6, 145.6, 35.4, 146.4), kGeoidGsiAscii);
    EXPECT_EQ(model.nx, 4);  // columns 26..29, beyond the east edge clipped
    EXPECT_EQ(model.ny, 3);
    EXPECT_EQ(model.x0, 4 * 139 + 26);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 145.75, 36.0), 23.24f);  // node (2, 27)
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 146.0, 35.0), 2.8f);     // node (0, 28)
    EXPECT_EQ(GeoidUndulation(model, 145.25, 35.0), 0.0f);          // outside the part loaded
}

TEST(GeoidModel, IsgNodesFromCellEdgesAndNoData) {
    ScratchFolder scratch;
    WriteFile(scratch / "grid.isg", IsgGrid());
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, scratch / "grid.isg", 0, 0, 0, 0), kGeoidIsg);
    EXPECT_EQ(model.y0, 70);
    EXPECT_EQ(model.x0, 556);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.0, 35.5), 1.0f);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5, 36.0), 2.2f);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.125, 35.5), 1.05f);
    EXPECT_EQ(GeoidUndulation(model, 139.75, 36.0), 0.0f);  // no-data node

    // The northern row only: the rows below it are never read.
    ASSERT_EQ(LoadGeoidModel(model, scratch / "grid.isg", 36.2, 139.25, 36.0, 139.5), kGeoidIsg);
    EXPECT_EQ(model.ny, 1);
    EXPECT_EQ(model.nx, 2);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.25, 36.0), 2.1f);
    EXPECT_EQ(GeoidUndulation(model, 139.25, 35.5), 0.0f);
}

TEST(GeoidModel, Egm2008RegionReadsOnlyItsRows) {
    ScratchFolder scratch;
    const fs::path path = scratch / kEgm1;
    WriteEgm(path, 60, 125 * 60, 126 * 60);  // 35°N to 36°N
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, path, 35, 139, 36, 140), kGeoidEgm2008);
    EXPECT_EQ(model.nx, 61);
    EXPECT_EQ(model.ny, 61);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 139.5, 35.5), EgmNode(125 * 60 + 30, 139 * 60 + 30));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 140.0, 36.0), EgmNode(126 * 60, 140 * 60));
    const float sw = EgmNode(7530, 8370), nw = EgmNode(7531, 8370), se = EgmNode(7530, 8371);
    const float ne = EgmNode(7531, 8371);
    EXPECT_NEAR(GeoidUndulation(model, 139.5 + 0.25 / 60, 35.5 + 0.5 / 60),
                0.375 * sw + 0.375 * nw + 0.125 * se + 0.125 * ne, 1e-4);
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
    GeoidModel model;
    ASSERT_EQ(LoadGeoidModel(model, path, 50, 1, 51, -1), kGeoidEgm2008);
    EXPECT_EQ(model.nx, 49);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, -0.5, 50.5), EgmNode(row, 8640 - 12));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 359.5, 50.5), EgmNode(row, 8640 - 12));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 0.5, 50.5), EgmNode(row, 12));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 0.0, 50.5), EgmNode(row, 0));
    EXPECT_NEAR(GeoidUndulation(model, -1.0 / 48, 50.5), (EgmNode(row, 8639) + EgmNode(row, 0)) / 2, 1e-4);
    EXPECT_EQ(GeoidUndulation(model, 1.5, 50.5), 0.0f);

    // West of 0° only: written either way round.
    ASSERT_EQ(LoadGeoidModel(model, path, 50, -2, 51, -1), kGeoidEgm2008);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, -1.5, 50.5), EgmNode(row, 8640 - 36));
    EXPECT_FLOAT_EQ(GeoidUndulation(model, 358.5, 50.5), EgmNode(row, 8640 - 36));

    // Whole rows: the last column goes on into the first.
    ASSERT_EQ(LoadGeoidModel(model, path, 50, 0, 51, 0), kGeoidEgm2008);
    EXPECT_EQ(model.nx, 8640);
    EXPECT_NEAR(GeoidUndulation(model, 360 - 1.0 / 48, 50.5), (EgmNode(row, 8639) + EgmNode(row, 0)) / 2, 1e-4);
    EXPECT_FLOAT_EQ(GeoidUndulation(model, -90.0, 50.5), EgmNode(row, 270 * 24));
}

TEST(GeoidModel, KindsFromTheFileName) {
    ScratchFolder scratch;
    GeoidModel model;
    WriteFile(scratch / "grid.txt", AsciiGrid());
    EXPECT_EQ(LoadGeoidModel(model, scratch / "grid.txt", 0, 0, 0, 0), kGeoidUnknownKind);
    EXPECT_EQ(LoadGeoidModel(model, scratch / "noextension", 0, 0, 0, 0), kGeoidUnknownKind);
    EXPECT_EQ(LoadGeoidModel(model, scratch / "Und_min1x1_egm2008_isw=82_WGS84_TideFree", 0, 0, 0, 0),
              kGeoidEgmFailed);  // no "_SE"
    EXPECT_EQ(LoadGeoidModel(model, scratch / "Und_min5x5_egm2008_isw=82_WGS84_TideFree_SE", 0, 0, 0, 0),
              kGeoidEgmFailed);
    EXPECT_EQ(LoadGeoidModel(model, scratch / kEgm1, 0, 0, 0, 0), kGeoidEgmFailed);  // not there
    EXPECT_EQ(LoadGeoidModel(model, scratch / "none.asc", 0, 0, 0, 0), kGeoidAsciiOpen);
    EXPECT_EQ(LoadGeoidModel(model, scratch / "none.ISG", 0, 0, 0, 0), kGeoidIsgOpen);
    EXPECT_EQ(model.loaded, 0);
    EXPECT_EQ(DescribeGeoidModel(model, kGeoidIsgOpen).title, "Use of GEOID model");
}

TEST(GeoidModel, MalformedFilesLeaveNoModel) {
    ScratchFolder scratch;
    const std::string ascii = AsciiGrid(), isg = IsgGrid();
    std::string absurd = ascii;
    absurd.replace(38, 10, "9999999999");  // 99999 x 99999 values in a 900-byte file
    std::string badStep = ascii;
    badStep.replace(20, 9, "   0.0000");
    const std::pair<std::string, int> cases[] = {
        {ascii.substr(0, ascii.size() - 20), kGeoidAsciiBad},  // short
        {"", kGeoidAsciiBad},                                  // empty
        {"  35.00000 139.00000 bad", kGeoidAsciiBad},          // header
        {absurd, kGeoidAsciiBad},
        {badStep, kGeoidAsciiBad},
        {isg.substr(0, isg.size() - 30), kGeoidIsgBad},          // short
        {isg.substr(0, isg.find("end_of_head")), kGeoidIsgBad},  // header without end
        {std::string(isg).replace(isg.find("ncols          =          4"), 27, "ncols =  40000000"), kGeoidIsgBad},
        {std::string(isg).replace(isg.find("delta lon"), 9, "delta_lon"), kGeoidIsgBad},
    };
    for (const auto& [text, result] : cases) {
        const fs::path path = scratch / (result == kGeoidAsciiBad ? "bad.asc" : "bad.isg");
        WriteFile(path, text);
        GeoidModel model;
        EXPECT_EQ(LoadGeoidModel(model, path, 0, 0, 0, 0), result) << text.substr(0, 80);
        EXPECT_EQ(model.loaded, 0);
        EXPECT_TRUE(model.values.empty());
    }

    // EGM2008: short of its full size, or rows whose marker is not the row length.
    const fs::path egm = scratch / kEgm25;
    WriteEgm(egm, 24, 0, 0);
    fs::resize_file(egm, fs::file_size(egm) - 1);
    GeoidModel model;
    EXPECT_EQ(LoadGeoidModel(model, egm, -90, 0, -90.5, 0), kGeoidEgmFailed);
    WriteEgm(egm, 24, 0, 0);
    EXPECT_EQ(LoadGeoidModel(model, egm, -90, 10, -90.5, 11), kGeoidEgm2008);
    EXPECT_EQ(LoadGeoidModel(model, egm, -90, 10, -89.9, 11), kGeoidEgmFailed);
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
    const double bounds[4] = {35, 36, 139, 140};  // a, b latitudes; c, d longitudes
    std::copy(bounds, bounds + 4, settings.geoidBounds);
    ASSERT_EQ(LoadConfiguredGeoidModel(settings), kGeoidGsiAscii);
    EXPECT_EQ(settings.geoidResult, kGeoidGsiAscii);
    EXPECT_EQ(settings.geoidModel.nx, 5);
    EXPECT_EQ(settings.geoidModel.ny, 3);

    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 100, 10), 0);
    ASSERT_EQ(LoadLogFile(store, settings, scratch / "walk.gpx"), kLoadDone);
    ASSERT_EQ(store.pointCount, 3);
    EXPECT_FLOAT_EQ(store.points[0].geoidAltitude, 100 - 10.22f);
    EXPECT_FLOAT_EQ(store.points[1].geoidAltitude, 50 - 2.6025f);
    EXPECT_FLOAT_EQ(store.points[2].geoidAltitude, 7);  // outside the model
}

TEST(GeoidModel, CliPrintsTheConfiguredModel) {
    ScratchFolder scratch;
    WriteFile(scratch / "grid.isg", IsgGrid());
    WriteFile(scratch / "with.ini", "geoidmodel=\"" + (scratch / "grid.isg").string() + "\",35,36,139,139.5\n");
    WriteFile(scratch / "without.ini", "maxtracks=10\n");
    const std::string run = "env XDG_DATA_HOME=" + (scratch / "data").string() + " " + TRAKVIO_CLI_PATH;
    std::string out;
    ASSERT_EQ(test::RunCommand(run + " info --geoid-info --ini " + (scratch / "with.ini").string(), &out), 0);
    EXPECT_EQ(out,
              "Geoid model: GSIGEO2011 (ISG)\nGeoid grid : 15.00' x 30.00'\nGrid points: 3 x 3 (36 bytes)\n"
              "  Longitude:  139.00 -  139.50 deg\n  Latitude :   35.00 -   36.00 deg\n");
    ASSERT_EQ(test::RunCommand(run + " info --geoid-info --ini " + (scratch / "without.ini").string(), &out), 0);
    EXPECT_EQ(out.find("ジオイドモデルはインストールされていません。\n"), 0u);
    EXPECT_EQ(test::RunCommand(run + " info --geoid-info x.gpx 2>/dev/null", &out), 64);
}

}  // namespace
}  // namespace trakvio
