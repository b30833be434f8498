#include "graph/graph_svg.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "graph/graph_draw.h"
#include "graph/text_metrics.h"
#include "platform/ascii_text.h"
#include "platform/text_output.h"
#include "platform/utf.h"

namespace trakvio {

namespace {

namespace fs = std::filesystem;

// The writer state while DrawGraph draws into the document.
struct SvgWriter {
    TextOutput out;
    std::string& buffer;  // out's, appended to directly on the paths every point takes
    TextMeasure measure;
    int32_t styleClass = 0;
    int32_t fontHeight = 0;
    int32_t escapement = 0;
    bool italic = false;
    FontMetrics metrics;
    uint32_t align = 0;
    uint32_t strokeColor = 0;  // 0xRRGGBB
    int32_t strokeWidth = 1;

    SvgWriter() : buffer(out.text()) {}

    // The document's own texts hold no line feeds: they go in as they are.
    void Put(std::string_view text) { buffer.append(text); }
    void Put(int64_t value) { out.PutInteger(value); }
    // A line end of the document: CR LF.
    void EndLine() { out.Put('\n'); }
};

// Bytes that are valid UTF-8: bad sequences become U+FFFD.
std::string ValidText(std::string_view text) {
    if (std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        return std::string(text);
    }
    return Utf16ToUtf8(Utf8ToUtf16(text));
}

// Character data of a text element. Control characters and the
// noncharacters U+FFFE and U+FFFF, which XML cannot carry, are left out.
void PutEscaped(SvgWriter& w, std::string_view text) {
    const std::string valid = ValidText(text);
    for (size_t i = 0; i < valid.size(); ++i) {
        const char c = valid[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0xEF && valid.compare(i + 1, 1, "\xBF") == 0 && i + 2 < valid.size() &&
            (static_cast<unsigned char>(valid[i + 2]) | 1) == 0xBF) {
            i += 2;
        } else if (c == '&') {
            w.Put("&amp;");
        } else if (c == '<') {
            w.Put("&lt;");
        } else if (c == '>') {
            w.Put("&gt;");
        } else if (byte >= 0x20 || c == '\t') {
            w.buffer.push_back(c);
        }
    }
}

// A face name inside the quoted CSS string of a CDATA style: quotes,
// backslashes and the characters that could end the CDATA section or the
// style element are written as CSS escapes.
void PutCssString(SvgWriter& w, std::string_view text) {
    for (char c : ValidText(text)) {
        if (c == '"') {
            w.Put("\\22 ");
        } else if (c == '\\') {
            w.Put("\\5C ");
        } else if (c == '>') {
            w.Put("\\3E ");
        } else if (c == '<') {
            w.Put("\\3C ");
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            w.buffer.push_back(c);
        }
    }
}

void PutHexColor(SvgWriter& w, uint32_t color) {
    char hex[6];
    for (int i = 5; i >= 0; --i, color >>= 4) hex[i] = LowerAscii(HexDigit(color));
    w.buffer.append(hex, 6);
}

void PutStrokeEnd(SvgWriter& w) {
    w.Put("\" stroke=\"#");
    PutHexColor(w, w.strokeColor);
    w.Put("\" stroke-width=\"");
    w.Put(w.strokeWidth);
    w.Put("\" fill=\"none\"/>");
    w.EndLine();
}

void PutPoint(SvgWriter& w, GraphPoint p) {
    w.Put(p.x);
    w.buffer.push_back(',');
    w.Put(p.y);
}

void SvgPolyline(void* context, const GraphPoint* points, int32_t count) {
    auto& w = *static_cast<SvgWriter*>(context);
    if (count <= 0) return;
    w.Put("<polyline points=\"");
    PutPoint(w, points[0]);
    for (int32_t i = 1; i < count; ++i) {
        w.buffer.push_back(' ');
        PutPoint(w, points[i]);
        w.out.SpillWhenFull();
    }
    PutStrokeEnd(w);
}

void SvgPolyPolyline(void* context, const GraphPoint* points, const int32_t* counts, int32_t lines) {
    auto& w = *static_cast<SvgWriter*>(context);
    w.Put("<path d=\"");
    for (int32_t line = 0; line < lines; ++line) {
        AppendSvgPathData(w.buffer, points, &counts[line], 1);
        points += std::max(counts[line], 0);
        w.out.SpillWhenFull();
    }
    PutStrokeEnd(w);
}

void SvgText(void* context, int32_t x, int32_t y, const char* text, int32_t length) {
    auto& w = *static_cast<SvgWriter*>(context);
    const std::string_view content(text, static_cast<size_t>(std::max(length, 0)));
    w.Put("<text class=\"c");
    w.Put(w.styleClass);
    if (w.escapement == kEscapementUp) {
        if ((w.align & kAlignVerticalMask) == kAlignTop) x += w.metrics.ascent;
        if ((w.align & kAlignHorizontalMask) == kAlignCenter) y += w.measure.TextWidth(content) / 2;
        w.Put("\" x=\"");
        w.Put(x);
        w.Put("\" y=\"");
        w.Put(y);
        w.Put("\" transform=\"rotate(-90,");
        w.Put(x);
        w.buffer.push_back(',');
        w.Put(y);
        w.Put(")\">");
    } else {
        const uint32_t vertical = w.align & kAlignVerticalMask;
        if (vertical == kAlignTop) {
            y += w.metrics.ascent;
        } else if (vertical == kAlignBottom) {
            y -= w.metrics.descent;
        }
        w.Put("\" x=\"");
        w.Put(x);
        w.Put("\" y=\"");
        w.Put(y);
        w.buffer.push_back('"');
        const uint32_t horizontal = w.align & kAlignHorizontalMask;
        if (horizontal == kAlignRight) {
            w.Put(" text-anchor=\"end\"");
        } else if (horizontal == kAlignCenter) {
            w.Put(" text-anchor=\"middle\"");
        }
        w.buffer.push_back('>');
    }
    PutEscaped(w, content);
    w.Put("</text>");
    w.EndLine();
}

void SvgTextExtent(void* context, const char* text, int32_t length, GraphTextSize& size) {
    auto& w = *static_cast<SvgWriter*>(context);
    size.cx = w.measure.TextWidth(std::string_view(text, static_cast<size_t>(std::max(length, 0))));
    size.cy = w.metrics.ascent + w.metrics.descent;
}

void SvgTextAlign(void* context, uint32_t flags) { static_cast<SvgWriter*>(context)->align = flags; }

void SvgPen(void* context, int32_t width, uint32_t colorRef, bool on) {
    auto& w = *static_cast<SvgWriter*>(context);
    if (!on) return;
    w.strokeWidth = std::max(width, 1);
    w.strokeColor = SwapRedBlue(colorRef);
}

void SvgFont(void* context, int32_t height, int32_t escapement, bool italic, std::u16string_view face, bool on) {
    auto& w = *static_cast<SvgWriter*>(context);
    if (!on) {
        w.styleClass = 0;
        return;
    }
    ++w.styleClass;
    w.fontHeight = height;
    w.escapement = escapement;
    w.italic = italic;
    w.measure.SelectFont(face, height, italic);
    w.metrics = w.measure.Metrics();
    w.Put("<style><![CDATA[text.c");
    w.Put(w.styleClass);
    w.Put(" {font-family:\"");
    PutCssString(w, Utf16ToUtf8(face));
    w.Put("\",sans-serif;");
    if (italic) w.Put("font-style:italic;");
    w.Put("font-size:");
    w.Put(w.metrics.ascent);
    w.Put("px;}]]></style>");
    w.EndLine();
}

// "%g" of a single-precision value.
void PutPoints(SvgWriter& w, float points) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(points));
    w.Put(text);
}

}  // namespace

void AppendSvgPathData(std::string& out, const GraphPoint* points, const int32_t* counts, int32_t lines) {
    char digits[24];
    auto number = [&](int64_t value) { out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr); };
    for (int32_t line = 0; line < lines; ++line) {
        const int32_t count = counts[line];
        if (count <= 0) continue;
        out.push_back('M');
        number(points[0].x);
        out.push_back(',');
        number(points[0].y);
        for (int32_t i = 1; i < count; ++i) {
            const GraphPoint from = points[i - 1];
            const GraphPoint to = points[i];
            if (to.x == from.x) {
                out.push_back('v');
                number(int64_t{to.y} - from.y);
            } else if (to.y == from.y) {
                out.push_back('h');
                number(int64_t{to.x} - from.x);
            } else {
                out.push_back('L');
                number(to.x);
                out.push_back(',');
                number(to.y);
            }
        }
        points += count;
    }
}

SvgForm SvgFormForPath(const fs::path& path) {
    const std::string extension = path.extension().string();
    if (extension.empty()) return SvgForm::kPlain;
    std::string lower;
    for (char c : extension) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == ".svg" ? SvgForm::kPlain : SvgForm::kHtml;
}

fs::path SvgOutputPath(const fs::path& path) {
    if (!path.has_extension()) {
        fs::path withExtension = path;
        withExtension += ".svg";
        return withExtension;
    }
    return path;
}

GraphOutputResult WriteGraphSvg(std::FILE* file, TrackStore& store, const GraphSettings& graph, int32_t width,
                                int32_t height, int32_t dpi, SvgForm form) {
    if (!GraphHasContent(store)) return kGraphNothingToDraw;
    SvgWriter w;
    w.out.Attach(file);
    if (form == SvgForm::kPlain) {
        w.Put("<?xml version=\"1.0\"?>");
        w.EndLine();
        w.Put("<svg xmlns=\"http://www.w3.org/2000/svg\"");
    } else {
        for (const char* line : {"<!DOCTYPE html>", "<html>", "<head>", "<meta charset=\"utf-8\">",
                                 "<title>SVG Test</title>", "</head>", "<body>"}) {
            w.Put(line);
            w.EndLine();
        }
        w.Put("<svg");
    }
    const int32_t safeDpi = dpi > 0 ? dpi : 96;
    const float widthPoints = static_cast<float>(width) * 72.0f / static_cast<float>(safeDpi);
    const float heightPoints = static_cast<float>(height) * 72.0f / static_cast<float>(safeDpi);
    w.Put(" width=\"");
    PutPoints(w, widthPoints);
    w.Put("pt\" height=\"");
    PutPoints(w, heightPoints);
    w.Put("pt\" viewBox=\"0,0,");
    w.Put(width);
    w.buffer.push_back(',');
    w.Put(height);
    w.Put("\" style=\"background-color: #ffffff\">");
    w.EndLine();
    w.Put("<!-- generated as resolution of ");
    w.Put(safeDpi);
    w.Put("dpi(=");
    w.Put(safeDpi);
    w.Put("px/72pt). width=");
    w.Put(width);
    w.Put("px*72pt/");
    w.Put(safeDpi);
    w.Put("dpi=");
    PutPoints(w, widthPoints);
    w.Put("pt -->");
    w.EndLine();

    const GraphBackend backend{&w,           SvgPolyline, SvgPolyPolyline, SvgText, SvgText, SvgTextExtent,
                               SvgTextAlign, SvgPen,      SvgFont};
    DrawGraph(store, graph, backend, width, height, safeDpi, nullptr);

    w.Put("</svg>");
    w.EndLine();
    if (form == SvgForm::kHtml) {
        w.Put("</body>");
        w.EndLine();
        w.Put("</html>");
        w.EndLine();
    }
    return w.out.Close() != 0 ? kGraphWriteFailed : kGraphWritten;
}

}  // namespace trakvio
