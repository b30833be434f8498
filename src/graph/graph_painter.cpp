#include "graph/graph_painter.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "app/qt_text.h"

namespace trakvio {

PainterGraphBackend::PainterGraphBackend(QPainter& painter)
    : painter_(painter), originalPen_(painter.pen()), originalFont_(painter.font()) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setBackgroundMode(Qt::TransparentMode);
}

GraphBackend PainterGraphBackend::Table() {
    GraphBackend table;
    table.context = this;
    table.polyline = Polyline;
    table.polyPolyline = PolyPolyline;
    table.tickText = TickText;
    table.titleText = TitleText;
    table.textExtent = TextExtent;
    table.textAlign = TextAlign;
    table.pen = Pen;
    table.font = Font;
    return table;
}

void PainterGraphBackend::ReduceColumns(const GraphPoint* points, int32_t count, std::vector<QPoint>& out) {
    out.clear();
    int32_t i = 0;
    while (i < count) {
        const int32_t x = points[i].x;
        int32_t j = i;
        int32_t low = i, high = i;
        while (j + 1 < count && points[j + 1].x == x) {
            ++j;
            if (points[j].y < points[low].y) low = j;
            if (points[j].y > points[high].y) high = j;
        }
        // The run's segments all lie on column x: from its first point to
        // its last through the lowest and the highest covers every one.
        int32_t keep[4] = {i, std::min(low, high), std::max(low, high), j};
        for (int32_t k : keep) {
            const QPoint p(points[k].x, points[k].y);
            if (out.empty() || out.back() != p) out.push_back(p);
        }
        i = j + 1;
    }
}

void PainterGraphBackend::DrawLine(const GraphPoint* points, int32_t count) {
    if (count <= 0) return;
    ReduceColumns(points, count, scratch_);
    if (scratch_.size() == 1) {
        painter_.drawPoint(scratch_.front());
    } else {
        painter_.drawPolyline(scratch_.data(), static_cast<int>(scratch_.size()));
    }
}

void PainterGraphBackend::Polyline(void* context, const GraphPoint* points, int32_t count) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    if (self.polylineObserver) self.polylineObserver(points, count);
    self.DrawLine(points, count);
}

void PainterGraphBackend::PolyPolyline(void* context, const GraphPoint* points, const int32_t* counts, int32_t lines) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    for (int32_t line = 0; line < lines; ++line) {
        self.DrawLine(points, counts[line]);
        points += std::max(counts[line], 0);
    }
}

// The platform's alignment rule: (x, y) is the reference point of the text
// box (left, right or centre; top, bottom or baseline), in the text's own
// direction when the font is rotated.
void PainterGraphBackend::DrawText(int32_t x, int32_t y, const QString& text) {
    const QFontMetricsF fm(painter_.font());
    double dx = 0;
    const uint32_t horizontal = align_ & kAlignHorizontalMask;
    if (horizontal == kAlignCenter) {
        dx = -fm.horizontalAdvance(text) / 2;
    } else if (horizontal == kAlignRight) {
        dx = -fm.horizontalAdvance(text);
    }
    double dy = fm.ascent();
    const uint32_t vertical = align_ & kAlignVerticalMask;
    if (vertical == kAlignBaseline) {
        dy = 0;
    } else if (vertical == kAlignBottom) {
        dy = -fm.descent();
    }
    painter_.save();
    painter_.translate(x, y);
    if (escapement_ != 0) painter_.rotate(-escapement_ / 10.0);
    painter_.drawText(QPointF(dx, dy), text);
    painter_.restore();
}

void PainterGraphBackend::TickText(void* context, int32_t x, int32_t y, const char* text, int32_t length) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    if (length <= 0) return;
    self.DrawText(x, y, QString::fromLatin1(text, length));
}

void PainterGraphBackend::TitleText(void* context, int32_t x, int32_t y, const char* utf8, int32_t length) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    if (length <= 0) return;
    self.DrawText(x, y, QStringFromUtf8(std::string_view(utf8, static_cast<size_t>(length))));
}

void PainterGraphBackend::TextExtent(void* context, const char* text, int32_t length, GraphTextSize& size) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    size.cx = self.measure_.TextWidth(std::string_view(text, static_cast<size_t>(std::max(length, 0))));
    size.cy = self.metrics_.ascent + self.metrics_.descent;
}

void PainterGraphBackend::TextAlign(void* context, uint32_t flags) {
    static_cast<PainterGraphBackend*>(context)->align_ = flags;
}

void PainterGraphBackend::Pen(void* context, int32_t width, uint32_t colorRef, bool on) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    if (!on) {
        self.painter_.setPen(self.originalPen_);
        return;
    }
    const uint32_t rgb = SwapRedBlue(colorRef);
    QPen pen(QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF), std::max(width, 1), Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    if (self.painter_.pen() != pen) self.painter_.setPen(pen);
}

void PainterGraphBackend::Font(void* context, int32_t height, int32_t escapement, bool italic, std::u16string_view face,
                               bool on) {
    auto& self = *static_cast<PainterGraphBackend*>(context);
    if (!on) {
        self.painter_.setFont(self.originalFont_);
        self.escapement_ = 0;
        return;
    }
    self.measure_.SelectFont(face, height, italic);
    self.metrics_ = self.measure_.Metrics();
    self.escapement_ = escapement;
    // The height is the cell height (ascent plus descent); Qt's pixel size
    // is the em, so it is scaled down by the face's own cell.
    QFont font(QStringFromUtf16(face));
    font.setItalic(italic);
    font.setPixelSize(std::max(height, 1));
    const double cell = QFontMetricsF(font).height();
    if (cell > 0 && height > 0) {
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(height * height / cell))));
    }
    if (self.painter_.font() != font) self.painter_.setFont(font);
}

}  // namespace trakvio
