// Geoid models: the undulation N of the geoid above the WGS 84 ellipsoid,
// interpolated in a grid loaded from an EGM2008 binary grid, a GSIGEO2011 ASCII
// grid or an ISG file, whole or only a rectangular part of it. Without a model
// every undulation is 0, so corrected altitudes equal the logged ones. A load
// never reads more rows than its region needs, never allocates more than the
// file can fill, and leaves no model behind when it fails. Lookups only read
// the grid, so they may run on any thread once the model is loaded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace trakvio {

struct GeoidModel {
    int loaded = 0;      // 1 while a grid is held
    int32_t kx = 0;      // cells per degree of longitude
    int32_t ky = 0;      // cells per degree of latitude
    int32_t x0 = 0;      // longitude of column 0 times kx
    int32_t y0 = 0;      // latitude of row 0 times ky
    int32_t nx = 0;      // columns held
    int32_t ny = 0;      // rows held
    int32_t period = 0;  // columns around the globe for a global grid (EGM2008), else 0
    // ny rows of nx undulations in metres, row 0 the southernmost, column 0
    // the westernmost; kGeoidNoData or more where no datum exists. A global
    // grid held all round (nx == period) continues from its last column into
    // column 0.
    std::vector<float> values;
};

inline constexpr float kGeoidNoData = 998.0f;

// Results of LoadGeoidModel; 1..3 also name the kind of model.
inline constexpr int kGeoidEgm2008 = 1;       // EGM2008 binary grid
inline constexpr int kGeoidGsiAscii = 2;      // GSIGEO2011 ASCII grid
inline constexpr int kGeoidIsg = 3;           // ISG file
inline constexpr int kGeoidUnknownKind = -1;  // the file name names no known kind
inline constexpr int kGeoidEgmFailed = -2;    // EGM2008: name without "_SE" or a grid size, unreadable or short file
inline constexpr int kGeoidAsciiOpen = -3;    // ASCII grid: cannot be opened
inline constexpr int kGeoidAsciiBad = -4;     // ASCII grid: header unreadable or values missing
inline constexpr int kGeoidIsgOpen = -5;      // ISG: cannot be opened
inline constexpr int kGeoidIsgBad = -6;       // ISG: header without end or unusable, or values missing

// Loads the grid file into model, replacing what it held. The kind comes from
// the file name: a name containing "_egm2008_isw=82_WGS84" is an EGM2008 grid
// (it must also contain "_SE" and "_min2.5x2.5" or "_min1x1"); otherwise the
// extension ".asc" or ".isg" (any case). Latitudes lat1, lat2 bound the rows
// and longitudes lon1, lon2 the columns of the part loaded, in either order;
// two equal bounds load the whole axis. An EGM2008 region may straddle 0°
// longitude. A region that misses the grid loads an empty grid. Returns one
// of the kGeoid* results; model.loaded is 1 exactly when the result is >= 1.
int LoadGeoidModel(GeoidModel& model, const std::filesystem::path& file, double lat1, double lon1, double lat2,
                   double lon2);

// Undulation in metres at (longitude, latitude): the node value on a node
// (within 1e-5 of a cell), otherwise interpolated linearly along a grid line
// or bilinearly between four nodes. 0 while no model is loaded, outside the
// grid (including the part of a cell beyond the last row or column) and where
// any node needed has no datum. A global grid also answers longitudes written
// one turn off (-360..720).
float GeoidUndulation(const GeoidModel& model, double longitude, double latitude);

// Name of a kind of model for the information box, empty for any other value.
const char* GeoidModelName(int32_t modelType);

struct GeoidModelInfo {
    std::string title;
    std::string text;  // UTF-8
};

// The model information box: the name, grid steps, size and extent of the
// loaded grid when modelType names a model, otherwise how to install one.
GeoidModelInfo DescribeGeoidModel(const GeoidModel& model, int32_t modelType);

}  // namespace trakvio
