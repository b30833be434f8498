// SVG graph output: the SVG back end of DrawGraph and the document around
// it, either a plain .svg file or an HTML page holding the svg element. Lines
// end in CR LF, as a text-mode file writes them on the platform the format
// came from. Text measures come from text_metrics.h. Text put into the
// document (tick labels, titles, font faces) is escaped so that a '<' or '&'
// in a configured title cannot break the document; text without such
// characters is written exactly as given.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/settings.h"
#include "graph/graph_backend.h"
#include "graph/graph_result.h"
#include "store/track_store.h"

namespace trakvio {

enum class SvgForm { kHtml = 0, kPlain = 1 };

// Path data of lines separate lines (counts[i] points each): "M" and the
// first point of a line, then "v" with the change of y when x stays, "h"
// with the change of x when only x changes, else "L" and the point.
void AppendSvgPathData(std::string& out, const GraphPoint* points, const int32_t* counts, int32_t lines);

// The form a file name asks for: plain SVG for ".svg" in any letter case and
// for a name without extension, the HTML page for any other extension.
SvgForm SvgFormForPath(const std::filesystem::path& path);

// The path a save writes: a name without extension gets ".svg".
std::filesystem::path SvgOutputPath(const std::filesystem::path& path);

// Writes the graph at width x height pixels and dpi to file as one
// document. Returns kGraphWritten, kGraphNothingToDraw (then nothing at all
// is written) or kGraphWriteFailed.
GraphOutputResult WriteGraphSvg(std::FILE* file, TrackStore& store, const GraphSettings& graph, int32_t width,
                                int32_t height, int32_t dpi, SvgForm form);

}  // namespace trakvio
