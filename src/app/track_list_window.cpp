#include "app/track_list_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCursor>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/input_box.h"
#include "app/qt_text.h"
#include "app/track_list_rows.h"

namespace trakvio {
namespace {

constexpr int kFontPixels = 18;
constexpr int kWidthEntries = 10;      // "0" to "9"
constexpr int kWidthChooserRows = 11;  // the chooser is this many entries tall
constexpr int kPickStripHeight = 30;   // below the list during a pick
constexpr int kButtonHeight = 22;
constexpr int kButtonRise = 25;  // buttons' top above the bottom edge
constexpr int kOkX = 20;
constexpr int kCancelGap = 40;  // Cancel's x = this + button width
const QColor kCellText(Qt::black);
const QColor kCellBackground(Qt::white);

// The colour cells keep the track's colour with white text even in the
// selected row; every other cell is drawn as the table draws it.
class ColorCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QVariant color = index.data(Qt::BackgroundRole);
        if (index.column() != kColumnColor || !color.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->fillRect(option.rect, color.value<QBrush>());
        painter->setPen(Qt::white);
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

// The width chooser: a bordered list of "0" to "9" shown as a pop-up below
// the cell, so that a click elsewhere closes it. Choosing reports the entry
// with the keyboard modifiers held at that moment.
class WidthChooser : public QListWidget {
  public:
    std::function<void(int, Qt::KeyboardModifiers)> chosen;

    explicit WidthChooser(QWidget* parent) : QListWidget(parent) {
        setWindowFlags(Qt::Popup);
        setObjectName(QStringLiteral("widthChooser"));
        setFrameShape(QFrame::Box);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        for (int w = 0; w < kWidthEntries; ++w) addItem(QString::number(w));
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QListWidget::mouseReleaseEvent(event);
        if (event->button() != Qt::LeftButton) return;
        QListWidgetItem* item = itemAt(event->position().toPoint());
        if (item) Choose(row(item), event->modifiers());
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (currentRow() >= 0) Choose(currentRow(), event->modifiers());
            return;
        }
        QListWidget::keyPressEvent(event);  // Escape closes the pop-up
    }

  private:
    void Choose(int entry, Qt::KeyboardModifiers modifiers) {
        hide();
        if (chosen) chosen(entry, modifiers);
    }
};

QTableWidgetItem* MakeItem(const std::string& text, int column) {
    auto* item = new QTableWidgetItem(QStringFromUtf8(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(
        (kTrackListColumns[static_cast<size_t>(column)].alignRight ? Qt::AlignRight : Qt::AlignLeft) |
        Qt::AlignVCenter);
    return item;
}

// The colour a cell text "%06X" names, or the given fallback.
QColor CellColor(const QString& text, uint32_t fallback) {
    bool ok = false;
    uint value = text.toUInt(&ok, 16);
    return QColor::fromRgb(ok && value <= 0xFFFFFF ? value : fallback);
}

// Keeps a window of the given size whose top-left wants to be at `at` on the
// screen holding that point.
QPoint OnScreen(QPoint at, QSize size) {
    QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return at;
    const QRect area = screen->availableGeometry();
    int x = std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    int y = std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

// The list's font: Meiryo UI whose character cell (ascent plus descent) is
// kFontPixels high, as the height of a Windows font is meant; where Meiryo UI
// is missing, Noto Sans CJK JP (or what fontconfig offers) takes its place.
QFont ListFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Meiryo UI"), QStringLiteral("Noto Sans CJK JP")});
    font.setWeight(QFont::Normal);
    font.setPixelSize(kFontPixels);
    const int cell = QFontMetrics(font).height();
    if (cell > kFontPixels) font.setPixelSize(std::max(1, kFontPixels * kFontPixels / cell));
    return font;
}

}  // namespace

TrackListWindow::TrackListWindow(AppState& state, Shell& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), shell_(shell) {
    setObjectName(QStringLiteral("track_property"));
    setWindowTitle(QStringLiteral("Trakvio Track List"));
    setFont(ListFont());
    const QFont font = this->font();

    table_ = new QTableWidget(0, kTrackListColumnCount, this);
    table_->setObjectName(QStringLiteral("trackList"));
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideNone);
    table_->setItemDelegate(new ColorCellDelegate(table_));
    QPalette palette = table_->palette();
    palette.setColor(QPalette::Base, kCellBackground);
    palette.setColor(QPalette::Text, kCellText);
    table_->setPalette(palette);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionsMovable(true);  // columns are dragged to another place by their header
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);  // the narrow columns keep their width
    for (int c = 0; c < kTrackListColumnCount; ++c) {
        const TrackListColumn& column = kTrackListColumns[static_cast<size_t>(c)];
        auto* item = new QTableWidgetItem(QStringFromUtf8(column.header));
        item->setTextAlignment((column.alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        table_->setHorizontalHeaderItem(c, item);
        // Widths are given at 96 DPI; Qt's logical pixels already carry the scale.
        table_->setColumnWidth(c, column.width);
    }
    connect(table_, &QTableWidget::cellClicked, this, &TrackListWindow::OnCellClicked);

    ok_ = new QPushButton(QStringLiteral("Ok"), this);
    ok_->setObjectName(QStringLiteral("pickOk"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("pickCancel"));
    for (QPushButton* button : {ok_, cancel_}) {
        button->hide();
        button->setEnabled(false);
    }
    connect(ok_, &QPushButton::clicked, this, [this] { EndPick(1); });
    connect(cancel_, &QPushButton::clicked, this, [this] { EndPick(-1); });

    auto* chooser = new WidthChooser(this);
    chooser->setFont(font);
    chooser->chosen = [this](int entry, Qt::KeyboardModifiers modifiers) {
        ApplyWidth(entry, modifiers.testFlag(Qt::ShiftModifier));
    };
    widthChooser_ = chooser;
    widthChooser_->hide();

    for (QColor& color : customColors_) color = Qt::white;
    resize(825, 250);
    Refresh();
}

void TrackListWindow::FillRow(int row, const TrackListRow& cells, bool trackRow) {
    for (int c = 0; c < kTrackListColumnCount; ++c) {
        QTableWidgetItem* item = MakeItem(cells[static_cast<size_t>(c)], c);
        if (c == kColumnColor && trackRow) {
            item->setBackground(CellColor(item->text(), state_.store.tracks[static_cast<size_t>(row)].color));
            item->setForeground(Qt::white);
        }
        table_->setItem(row, c, item);
    }
}

void TrackListWindow::Refresh() {
    widthChooser_->hide();
    // Ticks made during a pick survive a refresh (a live fix, a rename).
    std::vector<Qt::CheckState> ticks;
    if (picking_) {
        for (int r = 0; r < table_->rowCount(); ++r) {
            QTableWidgetItem* item = table_->item(r, kColumnTrack);
            ticks.push_back(item ? item->checkState() : Qt::Unchecked);
        }
    }
    const TrackListTable rows = BuildTrackListTable(state_.store);
    const int count = static_cast<int>(rows.rows.size());
    table_->setUpdatesEnabled(false);
    table_->clearContents();
    table_->setRowCount(count + 1);
    for (int r = 0; r < count; ++r) FillRow(r, rows.rows[static_cast<size_t>(r)], true);
    FillRow(count, rows.total, false);
    if (picking_) {
        table_->item(count, kColumnTrack)->setText(QStringFromUtf8(kTotalRowPickLabel));
        SetCheckBoxes(true);
        // The total row keeps its tick at the end of the list.
        if (!ticks.empty()) table_->item(count, kColumnTrack)->setCheckState(ticks.back());
        for (int r = 0; r < count && r + 1 < static_cast<int>(ticks.size()); ++r) {
            table_->item(r, kColumnTrack)->setCheckState(ticks[static_cast<size_t>(r)]);
        }
    }
    table_->setUpdatesEnabled(true);
}

void TrackListWindow::SetCheckBoxes(bool on) {
    const int count = table_->rowCount();
    for (int r = 0; r < count; ++r) {
        QTableWidgetItem* item = table_->item(r, kColumnTrack);
        if (!item) continue;
        if (on) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            const bool trackRow = r < count - 1;
            item->setCheckState(trackRow && state_.store.tracks[static_cast<size_t>(r)].checked ? Qt::Checked
                                                                                                : Qt::Unchecked);
        } else {
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
            item->setData(Qt::CheckStateRole, QVariant());  // no box at all
        }
    }
    // The box takes room of its own: the first column borrows it from the
    // title while the boxes show, so that "all" and the track numbers stay
    // readable and the table keeps its width.
    const int box = on ? table_->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, table_) + 6 : 0;
    table_->setColumnWidth(kColumnTrack, kTrackListColumns[kColumnTrack].width + box);
    table_->setColumnWidth(kColumnTitle, kTrackListColumns[kColumnTitle].width - box);
}

void TrackListWindow::LayOut() {
    const QRect area = rect();
    if (!picking_) {
        table_->setGeometry(area);
        return;
    }
    table_->setGeometry(0, 0, area.width(), std::max(0, area.height() - kPickStripHeight));
    const int top = area.height() - kButtonRise;
    ok_->setGeometry(kOkX, top, buttonWidth_, kButtonHeight);
    cancel_->setGeometry(kCancelGap + buttonWidth_, top, buttonWidth_, kButtonHeight);
}

void TrackListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TrackListWindow::OnCellClicked(int row, int column) {
    if (row < 0 || row >= TrackListRowCount(state_.store)) return;  // below the tracks or the total row
    switch (column) {
        case kColumnTitle:
            RenameTrackAt(row);
            break;
        case kColumnColor:
            ChooseColorAt(row);
            break;
        case kColumnWidth:
            OpenWidthChooser(row);
            break;
        default:
            break;
    }
}

void TrackListWindow::RenameTrackAt(int row) {
    QString name = QStringFromUtf16(TrackName(state_.store, row));
    const QString prompt = QStringLiteral("Track %1 の名称変更").arg(row + 1);
    if (RunInputBox(this, QStringLiteral("トラック名の変更"), prompt, name) == kInputBoxCancel) return;
    // The track may have gone while the box was open (a live capture restarts).
    if (row >= TrackListRowCount(state_.store)) return;
    RenameTrack(state_.store, row, Utf16FromQString(name));
    Refresh();
}

void TrackListWindow::ChooseColorAt(int row) {
    QTableWidgetItem* cell = table_->item(row, kColumnColor);
    const QColor start =
        CellColor(cell ? cell->text() : QString(), state_.store.tracks[static_cast<size_t>(row)].color);
    QColorDialog dialog(start, table_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    // The custom colours are shared by every colour dialog of the process;
    // this window's set is put in place for its own dialog and read back.
    for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, customColors_[static_cast<size_t>(i)]);
    dialog.adjustSize();
    dialog.move(OnScreen(QCursor::pos() + QPoint(30, 5), dialog.frameGeometry().size()));
    const int result = dialog.exec();
    for (int i = 0; i < 16; ++i) customColors_[static_cast<size_t>(i)] = QColorDialog::customColor(i);
    if (result != QDialog::Accepted || row >= TrackListRowCount(state_.store)) return;
    const uint32_t rgb = dialog.currentColor().rgb() & 0xFFFFFFu;
    state_.store.tracks[static_cast<size_t>(row)].color = rgb;
    if (QTableWidgetItem* item = table_->item(row, kColumnColor)) {
        item->setText(QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper());
        item->setBackground(QColor::fromRgb(rgb));
    }
    shell_.RedrawMap();
}

void TrackListWindow::OpenWidthChooser(int row) {
    QTableWidgetItem* cell = table_->item(row, kColumnWidth);
    if (!cell) return;
    widthRow_ = row;
    const QRect cellRect = table_->visualItemRect(cell);
    const int entryHeight = std::max(widthChooser_->sizeHintForRow(0), 1);
    const int frame = 2 * widthChooser_->frameWidth();
    // The client rectangle is placed, so that no window frame shifts it.
    widthChooser_->setGeometry(QRect(table_->viewport()->mapToGlobal(cellRect.bottomLeft() + QPoint(0, 1)),
                                     QSize(cellRect.width(), kWidthChooserRows * entryHeight + frame)));
    const int current = state_.store.tracks[static_cast<size_t>(row)].lineWidth;
    widthChooser_->setCurrentRow(current >= 0 && current < kWidthEntries ? current : -1);
    widthChooser_->show();
    widthChooser_->setFocus();
}

void TrackListWindow::ApplyWidth(int width, bool everyTrack) {
    const int rows = TrackListRowCount(state_.store);
    bool changed = false;
    for (int r = 0; r < rows; ++r) {
        if (!everyTrack && r != widthRow_) continue;
        int32_t& lineWidth = state_.store.tracks[static_cast<size_t>(r)].lineWidth;
        if (lineWidth == width) continue;
        lineWidth = width;
        changed = true;
        if (QTableWidgetItem* item = table_->item(r, kColumnWidth)) item->setText(QString::number(width));
    }
    if (changed) shell_.RedrawMap();
}

int TrackListWindow::PickTracks(const QString& prompt, QWidget* caller) {
    if (picking_) return -1;  // one pick at a time
    QWidget* top = caller ? caller->window() : nullptr;
    if (top == this) top = nullptr;
    if (caller == this) caller = nullptr;
    // Qt disables the windows a window owns together with it, this one among
    // them: a top level that owns the list has its own content disabled
    // instead, and its close button waits for the pick (closeEvent of the
    // main window).
    std::vector<QPointer<QWidget>> disabled;
    auto disable = [&disabled](QWidget* widget) {
        if (!widget || !widget->isEnabled()) return;
        widget->setEnabled(false);
        disabled.emplace_back(widget);
    };
    bool ownsList = false;
    for (QWidget* owner = parentWidget(); owner && top; owner = owner->parentWidget()) ownsList |= owner == top;
    if (ownsList) {
        for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow()) disable(child);
        }
    } else {
        disable(top);
    }
    disable(caller);
    picking_ = true;
    pickResult_ = 0;
    widthChooser_->hide();

    ok_->setText(prompt);
    const QFontMetrics metrics(ok_->font());
    buttonWidth_ = std::max(metrics.horizontalAdvance(prompt), metrics.horizontalAdvance(QStringLiteral("Cancel"))) + 4;
    LayOut();
    const int totalRow = table_->rowCount() - 1;
    if (QTableWidgetItem* total = table_->item(totalRow, kColumnTrack)) {
        total->setText(QStringFromUtf8(kTotalRowPickLabel));
    }
    SetCheckBoxes(true);
    for (QPushButton* button : {ok_, cancel_}) {
        button->setEnabled(true);
        button->show();
    }
    show();
    state_.trackListShown = true;
    emit shownForPick();
    raise();
    activateWindow();

    QEventLoop loop;
    pickLoop_ = &loop;
    if (pickResult_ == 0) loop.exec();
    pickLoop_ = nullptr;

    int result = -1;
    if (pickResult_ == 1) {
        const int rows = TrackListRowCount(state_.store);
        const int last = table_->rowCount() - 1;
        QTableWidgetItem* all = table_->item(last, kColumnTrack);
        if (all && all->checkState() == Qt::Checked) {
            for (int r = 0; r < rows; ++r) state_.store.tracks[static_cast<size_t>(r)].checked = 1;
            result = rows;
        } else {
            result = 0;
            for (int r = 0; r < rows; ++r) {
                QTableWidgetItem* item = r < last ? table_->item(r, kColumnTrack) : nullptr;
                const bool ticked = item && item->checkState() == Qt::Checked;
                state_.store.tracks[static_cast<size_t>(r)].checked = ticked ? 1 : 0;
                if (ticked) ++result;
            }
        }
    }

    picking_ = false;
    LayOut();
    SetCheckBoxes(false);
    if (QTableWidgetItem* total = table_->item(table_->rowCount() - 1, kColumnTrack)) {
        total->setText(QStringFromUtf8(kTotalRowLabel));
    }
    for (QPushButton* button : {ok_, cancel_}) {
        button->hide();
        button->setEnabled(false);
    }
    for (const QPointer<QWidget>& widget : disabled) {
        if (widget) widget->setEnabled(true);
    }
    if (caller) {
        caller->window()->raise();
        caller->activateWindow();
    }
    return result;
}

void TrackListWindow::EndPick(int result) {
    if (!picking_ || pickResult_ != 0) return;
    pickResult_ = result;
    if (pickLoop_) pickLoop_->quit();
}

void TrackListWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    // Closing the window during a pick answers it as Cancel.
    if (picking_) EndPick(-1);
    hide();
    state_.trackListShown = false;
    emit closedByUser();
}

}  // namespace trakvio
