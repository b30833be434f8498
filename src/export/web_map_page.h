// Web map pages: the loaded tracks as one self-contained HTML page that draws
// them over web map tiles, either with Leaflet (every configured base and
// overlay map as a layer) or with the Google Maps JavaScript API. The pages
// load their map library from the configured addresses. Each track gets its
// line, a start marker and a popup with its distance, duration, speed and
// time span. User texts (titles, track and layer names, attributions, URL
// templates, the API key) are escaped for the place they land, so no name can
// end a script or a string; names without special characters appear as they
// are. Files are UTF-8 with CR LF line ends, written through a large buffer.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "export/export_text.h"
#include "store/track_store.h"

namespace trakvio {

// Page kinds of WriteWebMapPages, as bits of its set.
inline constexpr int kPageLeaflet = 1;
inline constexpr int kPageGoogleMaps = 2;

// The Leaflet page into out (a TextOutput on a file or in memory), fitted to
// the bounds south, north, west, east. Base and overlay maps, leafletcss and
// leafletjs come from settings.
void PutLeafletPage(TextOutput& out, std::u16string_view title, const TrackStore& store, const Settings& settings,
                    double south, double north, double west, double east);

// The Google Maps page into out, centred on (centreLat, centreLon) at zoom;
// gmapjs comes from settings.
void PutGoogleMapsPage(TextOutput& out, std::u16string_view title, std::string_view apiKey, const TrackStore& store,
                       const Settings& settings, double centreLat, double centreLon, int zoom);

// Writes the Leaflet page to path. Returns kExportDone, kExportCannotCreate
// (nothing written) or kExportWriteFailed (the partial file is removed).
int WriteLeafletPage(const std::filesystem::path& path, std::u16string_view title, const TrackStore& store,
                     const Settings& settings, double south, double north, double west, double east);

// Writes the Google Maps page to path; results as WriteLeafletPage.
int WriteGoogleMapsPage(const std::filesystem::path& path, std::u16string_view title, std::string_view apiKey,
                        const TrackStore& store, const Settings& settings, double centreLat, double centreLon,
                        int zoom);

// The pages of a batch: with kPageLeaflet in pageKinds the Leaflet page goes
// to leafletFolder / fileName, fitted to the store's overall bounds; with
// kPageGoogleMaps the Google Maps page goes to googleFolder / fileName,
// centred on the middle of those bounds at initialZoom. Returns kExportDone,
// or the first failure (the other page is still written).
int WriteWebMapPages(int pageKinds, const std::filesystem::path& googleFolder,
                     const std::filesystem::path& leafletFolder, const std::filesystem::path& fileName,
                     std::u16string_view title, std::string_view apiKey, const TrackStore& store,
                     const Settings& settings);

// The attribution of a map as the HTML of a Leaflet layer: a leading "(c)"
// or U+00A9 becomes "&copy;", each link becomes an anchor to its address that
// opens in a new window; the text between the links and the addresses are
// HTML-escaped.
std::string AttributionHtml(std::u16string_view attribution, const AttributionLink* links,
                            const std::u16string* linkUrls, int linkCount);

// A tile id as a JavaScript variable name: characters other than ASCII
// letters, digits, '_' and '$' become '_', and a name that starts with a
// digit, is empty, is a reserved word or is one of the page's own variables
// gets a '_' in front. Ordinary ids ("osmjp") stay as they are.
std::string LayerVariable(std::u16string_view tileId);

}  // namespace trakvio
