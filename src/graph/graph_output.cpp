#include "graph/graph_output.h"

#include <cstdio>
#include <string>

#include "graph/graph_backend.h"
#include "graph/graph_emf.h"
#include "graph/graph_svg.h"
#include "platform/messages.h"

namespace trakvio {

namespace fs = std::filesystem;

GraphTarget GraphTargetSize(int32_t clientWidth, int32_t clientHeight, int32_t displayDpi, int32_t targetDpi) {
    if (displayDpi <= 0) displayDpi = 96;
    GraphTarget target{clientWidth, clientHeight, targetDpi};
    if (targetDpi != displayDpi && targetDpi > 0) {
        target.width = MulDiv(clientWidth, targetDpi, displayDpi);
        target.height = MulDiv(clientHeight, targetDpi, displayDpi);
    }
    if (clientWidth == 0 || clientHeight == 0) {
        char text[160];
        std::snprintf(text, sizeof text, "dpi=%d dpi_dsp=%d\nrc.right=%d rc.bottom=%d\n", static_cast<int>(targetDpi),
                      static_cast<int>(displayDpi), static_cast<int>(clientWidth), static_cast<int>(clientHeight));
        ShowMessage(text, "DrawGraph Error", MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kWarning);
    }
    return target;
}

GraphOutputResult SaveGraphSvg(const fs::path& path, TrackStore& store, const GraphSettings& graph, int32_t clientWidth,
                               int32_t clientHeight, int32_t displayDpi, fs::path* written) {
    const fs::path out = SvgOutputPath(path);
    if (written != nullptr) *written = out;
    std::FILE* file = std::fopen(out.c_str(), "wb");
    if (file == nullptr) return kGraphCannotCreate;
    const int32_t dpi = graph.svgDpi != 0 ? static_cast<int32_t>(graph.svgDpi) : (displayDpi > 0 ? displayDpi : 96);
    const GraphTarget target = GraphTargetSize(clientWidth, clientHeight, displayDpi, dpi);
    GraphOutputResult result =
        WriteGraphSvg(file, store, graph, target.width, target.height, target.dpi, SvgFormForPath(out));
    if (std::fclose(file) != 0 && result == kGraphWritten) result = kGraphWriteFailed;
    return result;
}

GraphOutputResult SaveGraphEmf(const fs::path& path, TrackStore& store, const GraphSettings& graph, int32_t clientWidth,
                               int32_t clientHeight, int32_t displayDpi, int32_t referenceDpi) {
    const int32_t dpi = referenceDpi > 0 ? referenceDpi : (displayDpi > 0 ? displayDpi : 96);
    const GraphTarget target = GraphTargetSize(clientWidth, clientHeight, displayDpi, dpi);
    return WriteGraphEmf(path, store, graph, target.width, target.height, target.dpi);
}

}  // namespace trakvio
