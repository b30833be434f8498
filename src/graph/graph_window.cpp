#include "graph/graph_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "app/qt_text.h"
#include "graph/graph_painter.h"
#include "platform/messages.h"

namespace trakvio {

// The client area: shows the back buffer and the cross, follows the mouse.
class GraphCanvas : public QWidget {
  public:
    explicit GraphCanvas(GraphWindow& window) : QWidget(&window), window_(window) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!window_.backBuffer_.isNull()) painter.drawImage(0, 0, window_.backBuffer_);
        const int mark = window_.mark_;
        const TrackStore& store = window_.state_.store;
        if (!window_.IsDrawn(mark)) return;
        const LogPoint& p = store.points[static_cast<size_t>(mark)];
        // The hover cross of the map, at the point's graph position.
        const int dpi = window_.DisplayDpi();
        const int m2 = 2 * MulDiv(4, dpi, 96);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(QColor(0xFF, 0, 0), MulDiv(2, dpi, 96)));
        painter.drawLine(p.graphX - m2, p.graphY - m2, p.graphX + m2, p.graphY + m2);
        painter.drawLine(p.graphX + m2, p.graphY - m2, p.graphX - m2, p.graphY + m2);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        window_.HoverAt(at.x(), at.y());
    }
    void leaveEvent(QEvent*) override { window_.EndHover(); }
    void resizeEvent(QResizeEvent*) override { window_.CanvasResized(); }

  private:
    GraphWindow& window_;
};

GraphWindow::GraphWindow(AppState& state, Shell& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), shell_(shell), printerSource_(SystemPrinters) {
    setWindowTitle(QStringLiteral("Trakvio Graph"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    layout->setMenuBar(menuBar_);
    canvas_ = new GraphCanvas(*this);
    layout->addWidget(canvas_);
    BuildMenus();
    UpdateChecks();
    resize(500, 260 + menuBar_->sizeHint().height());
}

GraphWindow::~GraphWindow() = default;

QWidget* GraphWindow::Canvas() const { return canvas_; }

QAction* GraphWindow::ActionForId(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

int GraphWindow::DisplayDpi() const {
    if (dpiOverride_ > 0) return dpiOverride_;
    const int dpi = logicalDpiX();
    return dpi > 0 ? dpi : 96;
}

void GraphWindow::BuildMenus() {
    auto add = [this](QMenu* menu, int id, const char* text) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        actions_[id] = action;
        return action;
    };
    QMenu* file = menuBar_->addMenu(QStringLiteral("ファイル"));
    add(file, kGraphCmdSaveSvg, "ベクター画像を SVG で保存");
    add(file, kGraphCmdSaveEmf, "ベクター画像を EMF で保存");
    file->addSeparator();
    add(file, kGraphCmdCopyEmf, "ベクター画像(EMF)をクリップボードにコピー");
    add(file, kGraphCmdCopyBitmap, "ビットマップ画像をクリップボードにコピー");
    file->addSeparator();
    add(file, kGraphCmdClose, "このグラフウィンドウを閉じる");

    QMenu* settings = menuBar_->addMenu(QStringLiteral("設定"));
    QMenu* xMenu = settings->addMenu(QStringLiteral("横軸(Ｘ)項目を選択"));
    static const char* const kXItems[] = {"時刻", "経過時間", "移動距離"};
    for (int k = 0; k < 3; ++k) add(xMenu, kGraphCmdXFirst + k, kXItems[k])->setCheckable(true);
    QMenu* yMenu = settings->addMenu(QStringLiteral("縦軸(Ｙ)項目を選択"));
    static const char* const kYItems[] = {"標高（高度）", "移動距離", "速度(⊿距離/⊿時間)", "速度(生ログ)"};
    for (int k = 0; k < 4; ++k) add(yMenu, kGraphCmdYFirst + k, kYItems[k])->setCheckable(true);
    settings->addSeparator();
    add(settings, kGraphCmdSpeedWindow, "平均速度算出パラメタを変更");
    add(settings, kGraphCmdSvgDpi, "SVG出力のDPIを指定");
    add(settings, kGraphCmdReferencePrinter, "EMF出力の参照プリンタを選択");
}

void GraphWindow::UpdateChecks() {
    const GraphSettings& graph = state_.settings.graph;
    for (int k = 1; k <= 3; ++k) actions_[kGraphCmdXFirst + k - 1]->setChecked(graph.xItem == k);
    for (int k = 1; k <= 4; ++k) actions_[kGraphCmdYFirst + k - 1]->setChecked(graph.yItem == k);
}

void GraphWindow::RunCommand(int id) {
    GraphSettings& graph = state_.settings.graph;
    if (id >= kGraphCmdXFirst && id < kGraphCmdXFirst + 3) {
        graph.xItem = id - kGraphCmdXFirst + 1;
        UpdateChecks();
        Redraw();
        return;
    }
    if (id >= kGraphCmdYFirst && id < kGraphCmdYFirst + 4) {
        graph.yItem = id - kGraphCmdYFirst + 1;
        UpdateChecks();
        Redraw();
        return;
    }
    switch (id) {
        case kGraphCmdClose:
            close();
            break;
        case kGraphCmdSaveSvg:
            SaveSvg();
            break;
        case kGraphCmdSaveEmf:
            SaveEmf();
            break;
        case kGraphCmdCopyEmf:
            CopyEmf();
            break;
        case kGraphCmdCopyBitmap:
            CopyBitmap();
            break;
        case kGraphCmdSpeedWindow:
            ChangeSpeedWindow();
            break;
        case kGraphCmdSvgDpi:
            ChangeSvgDpi();
            break;
        case kGraphCmdReferencePrinter:
            ChooseReferencePrinter();
            break;
        default:
            break;
    }
}

void GraphWindow::closeEvent(QCloseEvent* event) {
    EndHover();
    event->ignore();
    hide();
    state_.graphShown = false;
    emit closedByUser();
}

void GraphWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    state_.graphShown = true;
    Redraw();
}

void GraphWindow::CanvasResized() {
    state_.settings.graph.clientWidth = canvas_->width();
    state_.settings.graph.clientHeight = canvas_->height();
    if (isVisible() && state_.store.trackCount > 0) Redraw();
}

// A client area without width or height cannot hold a graph: the problem is
// reported and nothing is drawn. A window dragged to zero size reports it
// once, not at every size step of the drag.
bool GraphWindow::SizeUsable(bool onceWhileZero) {
    const int w = canvas_->width(), h = canvas_->height();
    if (w > 0 && h > 0) {
        zeroSizeReported_ = false;
        return true;
    }
    if (onceWhileZero && zeroSizeReported_) return false;
    zeroSizeReported_ = true;
    char text[160];
    std::snprintf(text, sizeof text, "dpi=%d dpi_dsp=%d\nrc.right=%d rc.bottom=%d\n", DisplayDpi(), DisplayDpi(), w, h);
    ShowMessage(text, "DrawGraph Error", MessageButtons::kOkCancel, kAnswerOk, MessageIcon::kWarning);
    return false;
}

void GraphWindow::Redraw() {
    // A hidden window has no client area to draw at; showing it redraws.
    if (!isVisible()) return;
    TrackStore& store = state_.store;
    const int w = canvas_->width(), h = canvas_->height();
    if (store.trackCount <= 0) {
        // A cleared store leaves an empty window rather than the old graph.
        backBuffer_ = QImage();
        drawn_ = false;
        nearest_.clear();
        hover_ = mark_ = -1;
        canvas_->update();
        return;
    }
    if (!SizeUsable(true)) return;
    if (backBuffer_.size() != QSize(w, h)) backBuffer_ = QImage(w, h, QImage::Format_RGB32);
    backBuffer_.fill(Qt::white);
    // Where each track's polyline first reaches each column, as the lines
    // go by: (line number << 32) | position in the line.
    std::vector<int64_t> columnFirst(static_cast<size_t>(w) + 1, -1);
    std::vector<int32_t> lineCounts;
    {
        QPainter painter(&backBuffer_);
        PainterGraphBackend backend(painter);
        backend.polylineObserver = [&](const GraphPoint* points, int32_t count) {
            const int64_t line = static_cast<int64_t>(lineCounts.size()) << 32;
            lineCounts.push_back(count);
            for (int32_t k = 0; k < count; ++k) {
                const int32_t x = points[k].x;
                if (x >= 0 && x <= w && columnFirst[static_cast<size_t>(x)] < 0) {
                    columnFirst[static_cast<size_t>(x)] = line | k;
                }
            }
        };
        plot_ = GraphPlotRect{};
        drawn_ = DrawGraph(store, state_.settings.graph, backend.Table(), w, h, DisplayDpi(), &plot_) == 0;
    }
    BuildNearestTable(columnFirst, lineCounts);

    QString yTitle = QStringFromUtf8(GraphYTitle(state_.settings.graph));
    const qsizetype bracket = yTitle.indexOf(QLatin1Char('['));
    if (bracket >= 0) yTitle.truncate(bracket > 0 && yTitle[bracket - 1] == QLatin1Char(' ') ? bracket - 1 : bracket);
    setWindowTitle(QStringLiteral("%1 -Q9Graph %2x%3 - %4")
                       .arg(QStringFromPath(state_.settings.gpsLogDataFile.filename()))
                       .arg(w)
                       .arg(h)
                       .arg(yTitle));
    canvas_->update();
}

// Whether the last drawing placed point i: an enabled point of a drawn track.
bool GraphWindow::IsDrawn(int i) const {
    const TrackStore& store = state_.store;
    if (!drawn_ || i < 0 || i >= LoadPointCount(store) || store.points[static_cast<size_t>(i)].enabled == 0) return false;
    const auto ends = store.trackEnd.begin();
    const auto t = std::lower_bound(ends, ends + std::min<size_t>(trackDrawn_.size(), store.trackEnd.size()), i) - ends;
    return static_cast<size_t>(t) < trackDrawn_.size() && trackDrawn_[static_cast<size_t>(t)];
}

// For every x of the plot, the drawn point nearest to it, the first in store
// order on ties: a hover step is then one look-up however many points there
// are. The drawing places a track when it has an enabled point before its
// last one, and every enabled point of it from there on, in store order;
// the i-th polyline drawn is thus the i-th such track, and its k-th point
// is point s + k of a track without disabled points.
void GraphWindow::BuildNearestTable(const std::vector<int64_t>& columnFirst, const std::vector<int32_t>& lineCounts) {
    nearest_.clear();
    trackDrawn_.clear();
    if (!drawn_) return;
    const TrackStore& store = state_.store;
    const int32_t n = std::min<int32_t>(LoadPointCount(store), static_cast<int32_t>(store.points.size()));
    const int32_t tracks = std::min<int32_t>(store.trackCount, static_cast<int32_t>(store.trackEnd.size()));
    struct Line {
        int32_t first, last;
    };
    std::vector<Line> lines;
    trackDrawn_.assign(static_cast<size_t>(std::max(tracks, 0)), false);
    for (int32_t t = 0; t < tracks; ++t) {
        const int32_t last = std::min(TrackLastIndex(store, t), n - 1);
        int32_t s = TrackFirstIndex(store, t);
        while (s <= last && store.points[static_cast<size_t>(s)].enabled == 0) ++s;
        if (s >= last) continue;
        trackDrawn_[static_cast<size_t>(t)] = true;
        lines.push_back({s, last});
    }
    const int32_t lo = plot_.left, hi = plot_.right;
    if (hi < lo || lines.size() != lineCounts.size()) return;
    const size_t width = static_cast<size_t>(hi - lo) + 1;
    std::vector<int32_t> first(width, -1);
    // Positions in lines with disabled points, resolved by one walk per line.
    std::vector<std::vector<std::pair<int32_t, size_t>>> pending(lines.size());
    for (size_t c = 0; c < width; ++c) {
        const int64_t x = static_cast<int64_t>(lo) + static_cast<int64_t>(c);
        if (x < 0 || x >= static_cast<int64_t>(columnFirst.size()) || columnFirst[static_cast<size_t>(x)] < 0) continue;
        const auto line = static_cast<size_t>(columnFirst[static_cast<size_t>(x)] >> 32);
        const auto k = static_cast<int32_t>(columnFirst[static_cast<size_t>(x)] & 0xFFFFFFFF);
        if (lineCounts[line] == lines[line].last - lines[line].first + 1) {
            first[c] = lines[line].first + k;
        } else {
            pending[line].emplace_back(k, c);
        }
    }
    for (size_t line = 0; line < lines.size(); ++line) {
        if (pending[line].empty()) continue;
        std::sort(pending[line].begin(), pending[line].end());
        size_t next = 0;
        int32_t k = 0;
        for (int32_t i = lines[line].first; i <= lines[line].last && next < pending[line].size(); ++i) {
            if (store.points[static_cast<size_t>(i)].enabled == 0) continue;
            while (next < pending[line].size() && pending[line][next].first == k)
                first[pending[line][next++].second] = i;
            ++k;
        }
    }
    // Nearest occupied column at or left of each column, then the right side.
    std::vector<int32_t> left(width), right(width);
    int32_t last = -1;
    for (size_t c = 0; c < width; ++c) {
        if (first[c] >= 0) last = static_cast<int32_t>(c);
        left[c] = last;
    }
    last = -1;
    for (size_t c = width; c-- > 0;) {
        if (first[c] >= 0) last = static_cast<int32_t>(c);
        right[c] = last;
    }
    if (left[width - 1] < 0) return;  // no point at all
    nearest_.resize(width);
    for (size_t c = 0; c < width; ++c) {
        const int32_t l = left[c], r = right[c];
        int32_t pick;
        if (l < 0) {
            pick = r;
        } else if (r < 0) {
            pick = l;
        } else {
            const int64_t dl = static_cast<int64_t>(c) - l, dr = r - static_cast<int64_t>(c);
            pick = dl < dr ? l : dr < dl ? r : (first[static_cast<size_t>(l)] <= first[static_cast<size_t>(r)] ? l : r);
        }
        nearest_[c] = first[static_cast<size_t>(pick)];
    }
    nearestOrigin_ = lo;
}

int GraphWindow::NearestPointAt(int x) const {
    if (!drawn_ || nearest_.empty()) return -1;
    const int64_t c =
        std::clamp<int64_t>(static_cast<int64_t>(x) - nearestOrigin_, 0, static_cast<int64_t>(nearest_.size()) - 1);
    return nearest_[static_cast<size_t>(c)];
}

void GraphWindow::SetMark(int index) {
    if (mark_ == index) return;
    mark_ = index;
    canvas_->update();
}

void GraphWindow::SetHoverPoint(int index) { SetMark(index); }

void GraphWindow::HoverAt(int x, int y) {
    if (!drawn_ || x < plot_.left || x > plot_.right || y < plot_.top || y > plot_.bottom) {
        EndHover();
        return;
    }
    const int p = NearestPointAt(x);
    if (p < 0 || p == hover_) return;
    // The graph's cross first, then the map's, as when they are removed.
    hover_ = p;
    SetMark(p);
    shell_.SetMapHoverPoint(p);
    shell_.ShowPointInfo(p);
}

void GraphWindow::EndHover() {
    if (hover_ < 0) return;
    hover_ = -1;
    SetMark(-1);
    shell_.SetMapHoverPoint(-1);
}

}  // namespace trakvio
