#include "graph/graph_emf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph_backend.h"
#include "graph/graph_draw.h"
#include "graph/text_metrics.h"
#include "platform/utf.h"

// libEMF declares the Win32 drawing interface it emulates; nothing of it
// leaves this file.
#include <emf.h>
#undef min
#undef max

namespace trakvio {

namespace {

namespace fs = std::filesystem;

// The display libEMF assumes: 1024 x 768 pixels. The header is rewritten to
// give these pixels the reference resolution.
constexpr int32_t kDevicePixelsX = 1024;
constexpr int32_t kDevicePixelsY = 768;
constexpr size_t kTitleUnits = 1024;

struct EmfWriter {
    HDC dc = 0;
    TextMeasure measure;
    FontMetrics metrics;
    bool penSelected = false;
    HPEN pen = 0;
    HGDIOBJ originalPen = 0;
    int32_t penWidth = 0;
    uint32_t penColor = 0;
    bool fontSelected = false;
    HFONT font = 0;
    HGDIOBJ originalFont = 0;
    int32_t fontHeight = 0;
    int32_t escapement = 0;
    bool italic = false;
    std::u16string face;
    std::vector<POINT> points;
};

void ToPoints(EmfWriter& w, const GraphPoint* points, int32_t count) {
    w.points.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        w.points[static_cast<size_t>(i)].x = points[i].x;
        w.points[static_cast<size_t>(i)].y = points[i].y;
    }
}

void EmfPolyline(void* context, const GraphPoint* points, int32_t count) {
    auto& w = *static_cast<EmfWriter*>(context);
    if (count <= 0) return;
    ToPoints(w, points, count);
    Polyline(w.dc, w.points.data(), count);
}

// libEMF has no PolyPolyline; one Polyline per line draws the same picture.
void EmfPolyPolyline(void* context, const GraphPoint* points, const int32_t* counts, int32_t lines) {
    auto& w = *static_cast<EmfWriter*>(context);
    for (int32_t line = 0; line < lines; ++line) {
        if (counts[line] > 0) {
            ToPoints(w, points, counts[line]);
            Polyline(w.dc, w.points.data(), counts[line]);
        }
        points += std::max(counts[line], 0);
    }
}

void EmfTickText(void* context, int32_t x, int32_t y, const char* text, int32_t length) {
    auto& w = *static_cast<EmfWriter*>(context);
    if (length > 0) TextOutA(w.dc, x, y, text, length);
}

void EmfTitleText(void* context, int32_t x, int32_t y, const char* utf8, int32_t length) {
    auto& w = *static_cast<EmfWriter*>(context);
    std::vector<char16_t> units(kTitleUnits);
    const size_t count =
        Utf8ToUtf16(std::string_view(utf8, static_cast<size_t>(std::max(length, 0))), units.data(), units.size());
    std::vector<WCHAR> wide(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(count));
    if (count > 0) TextOutW(w.dc, x, y, wide.data(), static_cast<INT>(count));
}

void EmfTextExtent(void* context, const char* text, int32_t length, GraphTextSize& size) {
    auto& w = *static_cast<EmfWriter*>(context);
    size.cx = w.measure.TextWidth(std::string_view(text, static_cast<size_t>(std::max(length, 0))));
    size.cy = w.metrics.ascent + w.metrics.descent;
}

void EmfTextAlign(void* context, uint32_t flags) { SetTextAlign(static_cast<EmfWriter*>(context)->dc, flags); }

void EmfPen(void* context, int32_t width, uint32_t colorRef, bool on) {
    auto& w = *static_cast<EmfWriter*>(context);
    if (!on) {
        if (w.penSelected) {
            SelectObject(w.dc, w.originalPen);
            DeleteObject(w.pen);
            w.penSelected = false;
        }
        return;
    }
    if (w.penSelected && width == w.penWidth && colorRef == w.penColor) return;
    HPEN pen = CreatePen(PS_SOLID, width, colorRef);
    HGDIOBJ previous = SelectObject(w.dc, pen);
    if (w.penSelected) {
        DeleteObject(w.pen);
    } else {
        w.originalPen = previous;
    }
    w.pen = pen;
    w.penSelected = true;
    w.penWidth = width;
    w.penColor = colorRef;
}

void EmfFont(void* context, int32_t height, int32_t escapement, bool italic, std::u16string_view face, bool on) {
    auto& w = *static_cast<EmfWriter*>(context);
    if (!on) {
        if (w.fontSelected) {
            SelectObject(w.dc, w.originalFont);
            DeleteObject(w.font);
            w.fontSelected = false;
        }
        return;
    }
    w.measure.SelectFont(face, height, italic);
    w.metrics = w.measure.Metrics();
    if (w.fontSelected && height == w.fontHeight && escapement == w.escapement && italic == w.italic &&
        face == w.face) {
        return;
    }
    // The face field holds 31 units and its NUL.
    std::vector<WCHAR> name(face.begin(),
                            face.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(face.size(), 31)));
    name.push_back(0);
    HFONT font =
        CreateFontW(height, 0, escapement, escapement, FW_NORMAL, italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.data());
    HGDIOBJ previous = SelectObject(w.dc, font);
    if (w.fontSelected) {
        DeleteObject(w.font);
    } else {
        w.originalFont = previous;
    }
    w.font = font;
    w.fontSelected = true;
    w.fontHeight = height;
    w.escapement = escapement;
    w.italic = italic;
    w.face = std::u16string(face);
}

int32_t ReadInt32(const unsigned char* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

void WriteInt32(unsigned char* bytes, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
}

// libEMF writes a header for its own fixed display and bounds that leave out
// text (it cannot measure any). This gives the device the reference
// resolution and makes the picture the whole graph area, width x height
// pixels, with its frame in 0.01 mm at that resolution. Returns false on an
// I/O error.
bool SetHeaderResolution(std::FILE* file, int32_t width, int32_t height, int32_t dpi) {
    unsigned char header[108];
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, file) != sizeof header) return false;
    if (ReadInt32(header) != 1 || ReadInt32(header + 4) < 108) return false;
    const int32_t right = std::max(width - 1, 0);
    const int32_t bottom = std::max(height - 1, 0);
    const int32_t bounds[4] = {0, 0, right, bottom};
    const int32_t frame[4] = {0, 0, MulDiv(right, 2540, dpi), MulDiv(bottom, 2540, dpi)};
    for (int i = 0; i < 4; ++i) {
        WriteInt32(header + 8 + 4 * i, bounds[i]);
        WriteInt32(header + 24 + 4 * i, frame[i]);
    }
    WriteInt32(header + 72, MulDiv(kDevicePixelsX, dpi, 96));
    WriteInt32(header + 76, MulDiv(kDevicePixelsY, dpi, 96));
    WriteInt32(header + 80, MulDiv(kDevicePixelsX, 254, 960));
    WriteInt32(header + 84, MulDiv(kDevicePixelsY, 254, 960));
    WriteInt32(header + 100, MulDiv(kDevicePixelsX, 25400, 96));
    WriteInt32(header + 104, MulDiv(kDevicePixelsY, 25400, 96));
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header &&
           std::fflush(file) == 0;
}

}  // namespace

GraphOutputResult WriteGraphEmf(const fs::path& path, TrackStore& store, const GraphSettings& graph, int32_t width,
                                int32_t height, int32_t dpi) {
    // The file is opened here rather than by libEMF, which cuts wide names
    // to 8 bits; this keeps any UTF-8 path intact.
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr) return kGraphCannotCreate;
    if (dpi <= 0) dpi = 96;
    // Application name, empty picture name, end of the list.
    static const WCHAR kDescription[] = {'T', 'r', 'a', 'k', 'v', 'i', 'o', 0, 0, 0};
    EmfWriter w;
    w.dc = CreateEnhMetaFileWithFILEW(0, file, nullptr, kDescription);
    if (w.dc == 0) {
        std::fclose(file);
        return kGraphWriteFailed;
    }
    SetMapMode(w.dc, MM_TEXT);
    SetBkMode(w.dc, TRANSPARENT);

    const GraphBackend backend{&w,           EmfPolyline, EmfPolyPolyline, EmfTickText, EmfTitleText, EmfTextExtent,
                               EmfTextAlign, EmfPen,      EmfFont};
    DrawGraph(store, graph, backend, width, height, dpi, nullptr);
    // A drawing that ended early still gives its objects back.
    EmfPen(&w, 0, 0, false);
    EmfFont(&w, 0, 0, false, std::u16string_view(), false);

    HENHMETAFILE metafile = CloseEnhMetaFileWithFILE(w.dc);
    bool ok = metafile != 0 && std::fflush(file) == 0 && std::ferror(file) == 0;
    if (ok) ok = SetHeaderResolution(file, width, height, dpi);
    if (metafile != 0) DeleteEnhMetaFile(metafile);
    if (std::fclose(file) != 0) ok = false;
    return ok ? kGraphWritten : kGraphWriteFailed;
}

}  // namespace trakvio
