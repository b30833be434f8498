#include "compute/geoid.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/ascii_text.h"
#include "platform/regular_file.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

constexpr double kSnap = 1e-5;                    // a fraction this close to 0 or 1 is on a node
constexpr float kStoredNoData = 999.0f;           // what a missing datum is held as
constexpr int64_t kMaxValues = int64_t{1} << 28;  // 1 GiB of floats: a whole global 1' grid fits
constexpr int32_t kMaxCellsPerDegree = 3600;      // finer than 1" is not a geoid grid
constexpr double kMaxOriginDegrees = 720;
constexpr int32_t kMaxAxisNodes = 1 << 22;
constexpr size_t kMaxLine = size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Regular files only: a grid named by a device or pipe is no model.
File OpenFile(const fs::path& path) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return File();
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return File(file);
}

int64_t FileSize(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const int64_t size = ftello(file);
    return fseeko(file, 0, SEEK_SET) == 0 ? size : -1;
}

// round(x) = trunc(2x) - trunc(x), the rounding every grid size and origin
// goes through.
double RoundCells(double x) { return std::trunc(2 * x) - std::trunc(x); }

// Cells per degree for a grid step in degrees, or 0 when the step is unusable.
int32_t CellsPerDegree(double step) {
    if (!(step > 0) || !std::isfinite(step)) return 0;
    const double k = RoundCells(1 / step);
    return k >= 1 && k <= kMaxCellsPerDegree ? static_cast<int32_t>(k) : 0;
}

bool UsableOrigin(double degrees) { return std::isfinite(degrees) && std::fabs(degrees) <= kMaxOriginDegrees; }

// The held part of one axis of n nodes, the first at originCells / k degrees.
struct Axis {
    int32_t start = 0;   // first node held
    int32_t count = 0;   // nodes held
    int32_t origin = 0;  // cells of the first node held
};

// The nodes between two bounds in degrees, both ends included; equal bounds
// keep the whole axis. The first node is the one at or south/west of the low
// bound, the last one at or north/east of the high bound.
Axis RegionAxis(int32_t k, int32_t originCells, int32_t n, double bound1, double bound2) {
    Axis axis{0, n, originCells};
    if (bound1 == bound2 || !std::isfinite(bound1) || !std::isfinite(bound2)) return axis;
    const double low = std::min(bound1, bound2), high = std::max(bound1, bound2);
    const double origin = static_cast<double>(originCells) / k;
    double start = origin >= low ? 0 : std::floor(k * low) - originCells;
    start = std::clamp(start, 0.0, static_cast<double>(n));
    double count = (high - origin) * k >= n - 1 ? n - start : std::ceil(k * high) - (originCells + start) + 1;
    count = std::clamp(count, 0.0, n - start);
    axis.start = static_cast<int32_t>(start);
    axis.count = static_cast<int32_t>(count);
    axis.origin = originCells + axis.start;
    return axis;
}

// Columns of a global grid of `period` columns from 0° east. A region west of
// 0° is taken one turn on; a region across 0° starts west of 0° (a negative
// origin) and is gathered from both ends of the rows.
Axis GlobalColumns(int32_t k, int32_t period, double bound1, double bound2) {
    const Axis whole{0, period, 0};
    if (bound1 == bound2 || !std::isfinite(bound1) || !std::isfinite(bound2)) return whole;
    double low = std::min(bound1, bound2), high = std::max(bound1, bound2);
    if (high - low >= 360) return whole;
    const double turns = std::floor(low / 360) * 360;
    low -= turns;
    high -= turns;
    if (high >= 360) {
        low -= 360;
        high -= 360;
    }
    const double first = std::floor(k * low);
    const double count = std::ceil(k * high) - first + 1;
    if (count >= period) return whole;
    return Axis{0, static_cast<int32_t>(count), static_cast<int32_t>(first)};
}

// Sets up the value block for a region, refusing absurd sizes.
bool AllocateGrid(GeoidModel& model, const Axis& columns, const Axis& rows) {
    if (static_cast<int64_t>(columns.count) * rows.count > kMaxValues) return false;
    model.nx = columns.count;
    model.ny = rows.count;
    model.x0 = columns.origin;
    model.y0 = rows.origin;
    model.values.assign(static_cast<size_t>(model.nx) * static_cast<size_t>(model.ny), kStoredNoData);
    return true;
}

float Checked(double value) { return std::isfinite(value) ? static_cast<float>(value) : kStoredNoData; }

// A decimal in a fixed-width field (clipped at the end of the line): blanks
// around it, an optional '+', nothing else.
bool ParseField(std::string_view line, size_t pos, size_t width, double& value) {
    if (pos >= line.size()) return false;
    std::string_view field = line.substr(pos, width);
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    if (field.empty()) return false;
    auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    return result.ec == std::errc() && result.ptr == field.data() + field.size();
}

bool ParseIntField(std::string_view line, size_t pos, size_t width, int32_t& value) {
    double number = 0;
    if (!ParseField(line, pos, width, number) || number != std::trunc(number) || std::fabs(number) > 1e9) return false;
    value = static_cast<int32_t>(number);
    return true;
}

// Lines of a text file without their CR/LF, through one read buffer.
class LineReader {
  public:
    explicit LineReader(std::FILE* file) : file_(file), buffer_(size_t{1} << 16, '\0') {}

    // False at the end of the file or at a line longer than kMaxLine.
    bool Next(std::string_view& line) {
        line_.clear();
        bool any = false;
        for (;;) {
            if (pos_ == end_) {
                pos_ = 0;
                end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
                if (end_ == 0) {
                    if (!any) return false;
                    line = Trimmed(line_);
                    return true;
                }
            }
            any = true;
            const char* start = buffer_.data() + pos_;
            const void* found = std::memchr(start, '\n', end_ - pos_);
            if (found != nullptr) {
                const size_t length = static_cast<size_t>(static_cast<const char*>(found) - start);
                pos_ += length + 1;
                if (line_.empty()) {
                    line = Trimmed(std::string_view(start, length));
                } else {
                    line_.append(start, length);
                    line = Trimmed(line_);
                }
                return line.size() <= kMaxLine;
            }
            line_.append(start, end_ - pos_);
            pos_ = end_;
            if (line_.size() > kMaxLine) return false;
        }
    }

    bool Skip(int64_t lines) {
        std::string_view line;
        for (int64_t n = 0; n < lines; ++n) {
            if (!Next(line)) return false;
        }
        return true;
    }

  private:
    static std::string_view Trimmed(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    std::FILE* file_;
    std::string buffer_;
    std::string line_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

// ---- EGM2008 binary grid ----

// Rows of 4-byte record markers around 360 * k little-endian floats, from 90°N
// down to 90°S, columns from 0° east. Only the rows of the region are read.
int LoadEgm2008(GeoidModel& model, const fs::path& path, const std::string& name, double lat1, double lon1, double lat2,
                double lon2) {
    if (name.find("_SE") == std::string::npos) return kGeoidEgmFailed;
    int32_t k = 0;
    if (name.find("_min2.5x2.5") != std::string::npos) {
        k = 24;
    } else if (name.find("_min1x1") != std::string::npos) {
        k = 60;
    } else {
        return kGeoidEgmFailed;
    }
    File file = OpenFile(path);
    if (!file) return kGeoidEgmFailed;
    const int32_t period = 360 * k;
    const int32_t fileRows = 180 * k + 1;
    const int64_t record = int64_t{period} * 4 + 8;
    if (FileSize(file.get()) < record * fileRows) return kGeoidEgmFailed;

    const Axis rows = RegionAxis(k, -90 * k, fileRows, lat1, lat2);
    const Axis columns = GlobalColumns(k, period, lon1, lon2);
    if (!AllocateGrid(model, columns, rows)) return kGeoidEgmFailed;
    model.kx = model.ky = k;
    model.period = period;

    std::vector<unsigned char> bytes(static_cast<size_t>(std::min(model.nx, period)) * 4);
    for (int32_t r = model.ny - 1; r >= 0; --r) {
        const int64_t base = (fileRows - 1 - (rows.start + r)) * record;
        unsigned char marker[4];
        if (fseeko(file.get(), base, SEEK_SET) != 0 || std::fread(marker, 1, 4, file.get()) != 4) {
            return kGeoidEgmFailed;
        }
        const uint32_t length = marker[0] | (marker[1] << 8) | (marker[2] << 16) | (uint32_t{marker[3]} << 24);
        if (length != static_cast<uint32_t>(period) * 4) return kGeoidEgmFailed;
        float* row = model.values.data() + static_cast<size_t>(r) * static_cast<size_t>(model.nx);
        // One piece, or two for a region across 0° (or a whole row held all round).
        for (int32_t m = 0; m < model.nx;) {
            const int32_t column = ((model.x0 + m) % period + period) % period;
            const int32_t run = std::min(model.nx - m, period - column);
            const size_t size = static_cast<size_t>(run) * 4;
            if (fseeko(file.get(), base + 4 + int64_t{column} * 4, SEEK_SET) != 0 ||
                std::fread(bytes.data(), 1, size, file.get()) != size) {
                return kGeoidEgmFailed;
            }
            for (int32_t q = 0; q < run; ++q) {
                const unsigned char* b = bytes.data() + static_cast<size_t>(q) * 4;
                const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24);
                row[m + q] = Checked(std::bit_cast<float>(bits));
            }
            m += run;
        }
    }
    return kGeoidEgm2008;
}

// ---- GSIGEO2011 ASCII grid ----

constexpr int32_t kAsciiPerLine = 28;
constexpr size_t kAsciiWidth = 9;

// A fixed-width header line, then the rows from the south, each as lines of
// 28 values of 9 characters.
int LoadGsiAscii(GeoidModel& model, const fs::path& path, double lat1, double lon1, double lat2, double lon2) {
    File file = OpenFile(path);
    if (!file) return kGeoidAsciiOpen;
    const int64_t fileSize = FileSize(file.get());
    LineReader reader(file.get());
    std::string_view header;
    if (fileSize < 0 || !reader.Next(header)) return kGeoidAsciiBad;
    header = header.substr(0, 254);
    double lat0 = 0, lon0 = 0, dlat = 0, dlon = 0;
    int32_t rowCount = 0, columnCount = 0;
    if (!ParseField(header, 0, 10, lat0) || !ParseField(header, 10, 10, lon0) || !ParseField(header, 20, 9, dlat) ||
        !ParseField(header, 29, 9, dlon) || !ParseIntField(header, 38, 5, rowCount) ||
        !ParseIntField(header, 43, 5, columnCount)) {
        return kGeoidAsciiBad;
    }
    const int32_t ky = CellsPerDegree(dlat), kx = CellsPerDegree(dlon);
    if (ky == 0 || kx == 0 || !UsableOrigin(lat0) || !UsableOrigin(lon0) || rowCount < 1 || columnCount < 1 ||
        rowCount > kMaxAxisNodes || columnCount > kMaxAxisNodes ||
        int64_t{rowCount} * columnCount * static_cast<int64_t>(kAsciiWidth) > fileSize) {
        return kGeoidAsciiBad;
    }
    const Axis rows = RegionAxis(ky, static_cast<int32_t>(RoundCells(ky * lat0)), rowCount, lat1, lat2);
    const Axis columns = RegionAxis(kx, static_cast<int32_t>(RoundCells(kx * lon0)), columnCount, lon1, lon2);
    if (!AllocateGrid(model, columns, rows)) return kGeoidAsciiBad;
    model.kx = kx;
    model.ky = ky;

    const int32_t linesPerRow = (columnCount + kAsciiPerLine - 1) / kAsciiPerLine;
    if (model.ny > 0 && !reader.Skip(int64_t{rows.start} * linesPerRow)) return kGeoidAsciiBad;
    const int32_t firstLine = columns.start / kAsciiPerLine;
    const int32_t endColumn = columns.start + columns.count;
    for (int32_t r = 0; r < model.ny; ++r) {
        float* row = model.values.data() + static_cast<size_t>(r) * static_cast<size_t>(model.nx);
        for (int32_t l = 0; l < linesPerRow; ++l) {
            std::string_view line;
            if (!reader.Next(line)) return kGeoidAsciiBad;
            if (l < firstLine) continue;
            const int32_t from = std::max(columns.start, l * kAsciiPerLine);
            const int32_t to = std::min(endColumn, (l + 1) * kAsciiPerLine);
            for (int32_t q = from; q < to; ++q) {
                double value = 0;
                if (!ParseField(line, static_cast<size_t>(q - l * kAsciiPerLine) * kAsciiWidth, kAsciiWidth, value)) {
                    return kGeoidAsciiBad;
                }
                row[q - columns.start] = Checked(value);
            }
        }
    }
    return kGeoidGsiAscii;
}

// ---- ISG ----

constexpr size_t kIsgWidth = 11;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The decimal that begins the text after the first '=' of a header line.
bool HeaderValue(std::string_view line, double& value) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    std::string_view text = line.substr(equals + 1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

// Header lines up to "end_of_head", then one line per grid row from the north,
// values 11 characters wide. Edges in the header are cell edges: the first
// node lies half a step inside.
int LoadIsg(GeoidModel& model, const fs::path& path, double lat1, double lon1, double lat2, double lon2) {
    File file = OpenFile(path);
    if (!file) return kGeoidIsgOpen;
    const int64_t fileSize = FileSize(file.get());
    LineReader reader(file.get());
    double latMin = NAN, lonMin = NAN, dlat = 0, dlon = 0, rowCount = 0, columnCount = 0, noData = -9999;
    std::string_view line;
    for (;;) {
        if (fileSize < 0 || !reader.Next(line)) return kGeoidIsgBad;
        if (StartsWith(line, "end_of_head")) break;
        double value = 0;
        if (!HeaderValue(line, value)) continue;
        if (StartsWith(line, "lat min")) {
            latMin = value;
        } else if (StartsWith(line, "lon min")) {
            lonMin = value;
        } else if (StartsWith(line, "delta lat")) {
            dlat = value;
        } else if (StartsWith(line, "delta lon")) {
            dlon = value;
        } else if (StartsWith(line, "nrows")) {
            rowCount = std::trunc(value);
        } else if (StartsWith(line, "ncols")) {
            columnCount = std::trunc(value);
        } else if (StartsWith(line, "nodata")) {
            noData = value;
        }
    }
    const int32_t ky = CellsPerDegree(dlat), kx = CellsPerDegree(dlon);
    if (ky == 0 || kx == 0 || !UsableOrigin(latMin) || !UsableOrigin(lonMin) || !(rowCount >= 1) ||
        !(columnCount >= 1) || rowCount > kMaxAxisNodes || columnCount > kMaxAxisNodes ||
        rowCount * columnCount * static_cast<double>(kIsgWidth) > static_cast<double>(fileSize)) {
        return kGeoidIsgBad;
    }
    const int32_t nRows = static_cast<int32_t>(rowCount), nColumns = static_cast<int32_t>(columnCount);
    const auto originRow = static_cast<int32_t>(RoundCells(ky * (latMin + 0.5 / ky)));
    const auto originColumn = static_cast<int32_t>(RoundCells(kx * (lonMin + 0.5 / kx)));
    const Axis rows = RegionAxis(ky, originRow, nRows, lat1, lat2);
    const Axis columns = RegionAxis(kx, originColumn, nColumns, lon1, lon2);
    if (!AllocateGrid(model, columns, rows)) return kGeoidIsgBad;
    model.kx = kx;
    model.ky = ky;

    if (model.ny > 0 && !reader.Skip(nRows - (rows.start + rows.count))) return kGeoidIsgBad;
    for (int32_t r = model.ny - 1; r >= 0; --r) {
        if (!reader.Next(line)) return kGeoidIsgBad;
        float* row = model.values.data() + static_cast<size_t>(r) * static_cast<size_t>(model.nx);
        for (int32_t q = 0; q < model.nx; ++q) {
            double value = 0;
            if (!ParseField(line, static_cast<size_t>(columns.start + q) * kIsgWidth, kIsgWidth, value)) {
                return kGeoidIsgBad;
            }
            row[q] = value == noData ? kStoredNoData : Checked(value);
        }
    }
    return kGeoidIsg;
}

// 1234567 as "1,234,567".
std::string GroupedDigits(int64_t value) {
    std::string digits = std::to_string(value);
    std::string grouped;
    const size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i >= first && (i - first) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

}  // namespace

int LoadGeoidModel(GeoidModel& model, const fs::path& file, double lat1, double lon1, double lat2, double lon2) {
    model = GeoidModel();
    const std::string name = file.filename().string();
    int result;
    if (name.find("_egm2008_isw=82_WGS84") != std::string::npos) {
        result = LoadEgm2008(model, file, name, lat1, lon1, lat2, lon2);
    } else {
        const size_t dot = name.rfind('.');
        const std::string_view extension =
            dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
        if (EqualsIgnoreCase(extension, ".asc")) {
            result = LoadGsiAscii(model, file, lat1, lon1, lat2, lon2);
        } else if (EqualsIgnoreCase(extension, ".isg")) {
            result = LoadIsg(model, file, lat1, lon1, lat2, lon2);
        } else {
            result = kGeoidUnknownKind;
        }
    }
    if (result < 1) {
        model = GeoidModel();
    } else {
        model.loaded = 1;
    }
    return result;
}

float GeoidUndulation(const GeoidModel& model, double longitude, double latitude) {
    if (!model.loaded || model.values.empty()) return 0.0f;
    double x = model.kx * longitude - model.x0;
    const double y = model.ky * latitude - model.y0;
    if (model.period != 0) {
        if (x < -kSnap) {
            x += model.period;
        } else if (x >= model.period) {
            x -= model.period;
        }
    }
    // Also refuses NaN and keeps the truncations below in range.
    if (!(x >= -kSnap && x < model.nx + 1.0 && y >= -kSnap && y < model.ny + 1.0)) return 0.0f;
    const auto i = static_cast<int32_t>(x), j = static_cast<int32_t>(y);  // a tiny negative is cell 0
    const double fx = x - i, fy = y - j;
    const bool onColumn = fx < kSnap || fx > 1 - kSnap;
    const bool onRow = fy < kSnap || fy > 1 - kSnap;
    int32_t c0 = onColumn && fx > 0.5 ? i + 1 : i;
    int32_t c1 = onColumn ? c0 : i + 1;
    const int32_t r0 = onRow && fy > 0.5 ? j + 1 : j;
    const int32_t r1 = onRow ? r0 : j + 1;
    if (r1 >= model.ny) return 0.0f;
    if (c1 >= model.nx) {
        // Only a grid held all round goes on from its last column into column 0.
        if (model.period == 0 || model.nx != model.period || c1 > model.nx) return 0.0f;
        c1 = 0;
        if (c0 == model.nx) c0 = 0;
    }
    const size_t stride = static_cast<size_t>(model.nx);
    const float* south = model.values.data() + static_cast<size_t>(r0) * stride;
    const float* north = model.values.data() + static_cast<size_t>(r1) * stride;
    if (onColumn && onRow) return south[c0] < kGeoidNoData ? south[c0] : 0.0f;
    if (onRow) {
        const float w = south[c0], e = south[c1];
        if (w >= kGeoidNoData || e >= kGeoidNoData) return 0.0f;
        return static_cast<float>((1 - fx) * w + fx * e);
    }
    if (onColumn) {
        const float s = south[c0], n = north[c0];
        if (s >= kGeoidNoData || n >= kGeoidNoData) return 0.0f;
        return static_cast<float>((1 - fy) * s + fy * n);
    }
    const float sw = south[c0], se = south[c1], nw = north[c0], ne = north[c1];
    if (sw >= kGeoidNoData || se >= kGeoidNoData || nw >= kGeoidNoData || ne >= kGeoidNoData) return 0.0f;
    return static_cast<float>((1 - fx) * (1 - fy) * sw + (1 - fx) * fy * nw + fx * (1 - fy) * se + fx * fy * ne);
}

const char* GeoidModelName(int32_t modelType) {
    switch (modelType) {
        case kGeoidEgm2008:
            return "EGM2008 (NGA)";
        case kGeoidGsiAscii:
            return "GSIGEO2011 (GSI)";
        case kGeoidIsg:
            return "GSIGEO2011 (ISG)";
        default:
            return "";
    }
}

GeoidModelInfo DescribeGeoidModel(const GeoidModel& model, int32_t modelType) {
    const char* name = GeoidModelName(modelType);
    if (name[0] == '\0' || !model.loaded) {
        return {
            "Use of GEOID model",
            "ジオイドモデルはインストールされていません。\nジオイドモデルは Trakvio.exe "
            "起動時に読込まれます。\nUser's Manual に従って、ダウンロードしたジオイドモデルファイルを初期設定ファイル("
            "Trakvio.ini)に登録してから Trakvio.exe を起動して下さい。\n"};
    }
    // The extent runs from the first node to the last one; a grid held all
    // round reaches a full turn east of its origin.
    const double west = static_cast<double>(model.x0) / model.kx;
    const double east =
        model.nx == model.period ? west + 360 : static_cast<double>(model.x0 + std::max(model.nx - 1, 0)) / model.kx;
    const double south = static_cast<double>(model.y0) / model.ky;
    const double north = static_cast<double>(model.y0 + std::max(model.ny - 1, 0)) / model.ky;
    const std::string bytes = GroupedDigits(int64_t{model.nx} * model.ny * 4);
    char text[512];
    std::snprintf(text, sizeof text,
                  "Geoid model: %s\nGeoid grid :%6.2f' x%6.2f'\nGrid points: %d x %d (%s bytes)\n  Longitude: %7.2f - "
                  "%7.2f deg\n  Latitude : %7.2f - %7.2f deg\n",
                  name, 60.0 / model.kx, 60.0 / model.ky, model.nx, model.ny, bytes.c_str(), west, east, south, north);
    return {"Installed Geoid model", text};
}

}  // namespace trakvio
