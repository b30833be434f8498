#include "map/tile_cache_window.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>

#include "app/qt_text.h"
#include "map/tile_cache.h"
#include "platform/messages.h"

namespace trakvio {
namespace {

constexpr int kColumnWidths[] = {50, 55, 140, 50, 50, 100};

int Scaled(const QWidget* w, int value) { return value * w->logicalDpiX() / 96; }

}  // namespace

TileCacheWindow::TileCacheWindow(AppState& state, QWidget* parent) : QWidget(parent, Qt::Window), state_(state) {
    setWindowTitle(QStringLiteral("Trakvio Map tile cache - ") + QStringFromPath(state.settings.tileCacheFolder));
    QFont font(QStringLiteral("Meiryo UI"));
    font.setPixelSize(Scaled(this, 18));
    // Where that face is missing its stand-in is wider: it gets the largest
    // size at which the column headers still fit their columns.
    const QStringList headers = {QStringLiteral("#"),       QStringLiteral("Tile ID"), QStringLiteral("Tile name"),
                                 QStringLiteral("folders"), QStringLiteral("files"),   QStringLiteral("size (bytes)")};
    while (font.pixelSize() > Scaled(this, 11)) {
        const QFontMetrics metrics(font);
        bool fits = true;
        for (int c = 0; c < headers.size(); ++c) {
            fits &= metrics.horizontalAdvance(headers[c]) + Scaled(this, 10) <= Scaled(this, kColumnWidths[c]);
        }
        if (fits) break;
        font.setPixelSize(font.pixelSize() - 1);
    }
    setFont(font);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("tileSets"));
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHeaderLabels(headers);
    list_->header()->setSectionsMovable(true);
    list_->setStyleSheet(QStringLiteral("QTreeView::item { border: 1px solid #d0d0d0; }"));
    for (int c = 0; c < 6; ++c) list_->setColumnWidth(c, Scaled(this, kColumnWidths[c]));
    for (int c = 3; c < 6; ++c) list_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);

    ok_ = new QPushButton(QStringLiteral("Ok"), this);
    update_ = new QPushButton(QStringLiteral("Update"), this);
    clear_ = new QPushButton(QStringLiteral("ClearCache"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    update_->setObjectName(QStringLiteral("update"));
    clear_->setObjectName(QStringLiteral("clearCache"));
    connect(ok_, &QPushButton::clicked, this, &QWidget::hide);
    connect(update_, &QPushButton::clicked, this, &TileCacheWindow::Update);
    connect(clear_, &QPushButton::clicked, this, &TileCacheWindow::ClearCheckedTileSets);
    resize(500, 250);
}

void TileCacheWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int h = height();
    list_->setGeometry(0, 0, width(), std::max(0, h - Scaled(this, 30)));
    const int y = h - Scaled(this, 25);
    const int bw = Scaled(this, 100), bh = Scaled(this, 22);
    ok_->setGeometry(20, y, bw, bh);
    update_->setGeometry(Scaled(this, 140), y, bw, bh);
    clear_->setGeometry(Scaled(this, 260), y, bw, bh);
}

void TileCacheWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Update();
}

void TileCacheWindow::Update() {
    list_->clear();
    int64_t folders = 0, files = 0, bytes = 0;
    const auto& maps = state_.settings.baseMaps;
    auto addRow = [this](const QString& number, const QString& id, const QString& name, int64_t f, int64_t n, int64_t b,
                         bool checkable) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, number);
        item->setText(1, id);
        item->setText(2, name);
        item->setText(3, QString::number(f));
        item->setText(4, QString::number(n));
        item->setText(5, QString::fromStdString(FormatThousands(b)));
        for (int c = 3; c < 6; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        if (checkable) item->setCheckState(0, Qt::Unchecked);
    };
    for (size_t i = 0; i < maps.size(); ++i) {
        FolderStatistics stats;
        if (IsSafeTileId(maps[i].tileId) && !state_.settings.tileCacheFolder.empty()) {
            stats = WalkFolderStatistics(TileSetFolder(state_.settings.tileCacheFolder, maps[i].tileId));
        }
        char number[16];
        std::snprintf(number, sizeof number, "%2d", static_cast<int>(i + 1));
        addRow(QString::fromLatin1(number), QStringFromUtf16(maps[i].tileId), QStringFromUtf16(maps[i].name),
               stats.folders, stats.files, stats.bytes, true);
        folders += stats.folders;
        files += stats.files;
        bytes += stats.bytes;
    }
    addRow(QStringLiteral("total"), QString(), QString(), folders, files, bytes, false);
}

void TileCacheWindow::ClearCheckedTileSets() {
    const auto& maps = state_.settings.baseMaps;
    std::vector<size_t> checked;
    for (int row = 0; row < list_->topLevelItemCount() && row < static_cast<int>(maps.size()); ++row) {
        if (list_->topLevelItem(row)->checkState(0) == Qt::Checked) checked.push_back(static_cast<size_t>(row));
    }
    if (checked.empty()) {
        ShowMessage("削除するタイルセットにチェックを入れてください", "ClearCache", MessageButtons::kOk, kAnswerOk,
                    MessageIcon::kInformation);
        return;
    }
    std::string text = "次のタイルセットのキャッシュを削除します。よろしいですか？\n";
    for (size_t i : checked) text += Utf8FromQString(QStringFromUtf16(maps[i].tileId)) + "\n";
    if (ShowMessage(text, "ClearCache", MessageButtons::kYesNo, kAnswerNo, MessageIcon::kWarning) != kAnswerYes) {
        return;
    }
    for (size_t i : checked) ClearTileSet(state_.settings.tileCacheFolder, maps[i].tileId);
    Update();
}

}  // namespace trakvio
