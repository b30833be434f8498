// Graph drawing on a QPainter: the screen back end of DrawGraph, beside the
// SVG and EMF ones, so the window shows the very graph the files hold.
// Text is measured with text_metrics.h like the other back ends, so the plot
// rectangle and every point come out at the same pixels on all targets; the
// glyphs themselves are drawn with Qt's fonts at the same cell height. Lines
// are drawn without antialiasing, as on the platform's screen.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPen>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph/graph_backend.h"
#include "graph/text_metrics.h"

namespace trakvio {

class PainterGraphBackend {
  public:
    // painter must stay active while the table is used.
    explicit PainterGraphBackend(QPainter& painter);
    PainterGraphBackend(const PainterGraphBackend&) = delete;
    PainterGraphBackend& operator=(const PainterGraphBackend&) = delete;

    // The operation table; its context is this object.
    GraphBackend Table();

    // Points of a polyline reduced to what covers the same pixels: within a
    // run of points on one pixel column only the first, the lowest, the
    // highest and the last are kept (in path order), so a million points of
    // a day drawn across a few hundred columns cost a few thousand segments.
    static void ReduceColumns(const GraphPoint* points, int32_t count, std::vector<QPoint>& out);

    // Called with the points of every single polyline (the tracks), before
    // they are drawn; the frame and ticks do not come through here.
    std::function<void(const GraphPoint* points, int32_t count)> polylineObserver;

  private:
    static void Polyline(void* context, const GraphPoint* points, int32_t count);
    static void PolyPolyline(void* context, const GraphPoint* points, const int32_t* counts, int32_t lines);
    static void TickText(void* context, int32_t x, int32_t y, const char* text, int32_t length);
    static void TitleText(void* context, int32_t x, int32_t y, const char* utf8, int32_t length);
    static void TextExtent(void* context, const char* text, int32_t length, GraphTextSize& size);
    static void TextAlign(void* context, uint32_t flags);
    static void Pen(void* context, int32_t width, uint32_t colorRef, bool on);
    static void Font(void* context, int32_t height, int32_t escapement, bool italic, std::u16string_view face, bool on);
    void DrawText(int32_t x, int32_t y, const QString& text);
    void DrawLine(const GraphPoint* points, int32_t count);

    QPainter& painter_;
    QPen originalPen_;
    QFont originalFont_;
    TextMeasure measure_;
    FontMetrics metrics_;
    uint32_t align_ = 0;
    int32_t escapement_ = 0;
    std::vector<QPoint> scratch_;
};

}  // namespace trakvio
