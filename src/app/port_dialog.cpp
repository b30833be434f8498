#include "app/port_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/qt_text.h"

namespace trakvio {
namespace {

// Column widths in pixels at 96 DPI; the last one takes the rest.
constexpr int kPortColumn = 50;
constexpr int kViaColumn = 100;
constexpr int kNameColumn = 290;

int Scaled(const QWidget* widget, int pixels) { return pixels * widget->logicalDpiX() / 96; }

}  // namespace

PortDialog::PortDialog(QWidget* parent, const std::vector<ReceiverPortEntry>& entries) : QDialog(parent) {
    setObjectName(QStringLiteral("MYCOMMDIALOG"));
    setWindowTitle(QStringLiteral("GPSレシーバーに割当てられた通信ポートを選択"));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHeaderLabels(
        {QStringLiteral("Port"), QStringLiteral("connected via"), QStringLiteral("Device name or Device driver")});
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(0, Scaled(this, kPortColumn));
    list_->setColumnWidth(1, Scaled(this, kViaColumn));
    list_->setColumnWidth(2, Scaled(this, kNameColumn));
    for (const ReceiverPortEntry& entry : entries) {
        new QTreeWidgetItem(list_, {QStringFromUtf8(entry.portName), QStringFromUtf8(entry.connectedVia),
                                    QStringFromUtf8(entry.deviceName)});
    }
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    // Device paths are longer than the port names the width was made for.
    list_->resizeColumnToContents(0);
    list_->setColumnWidth(0, std::max(list_->columnWidth(0), Scaled(this, kPortColumn)));

    start_ = new QPushButton(QStringLiteral("開始"), this);
    retry_ = new QPushButton(QStringLiteral("再試行"), this);
    cancel_ = new QPushButton(QStringLiteral("中止"), this);
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, [this] { done(kPortDialogStart); });
    connect(retry_, &QPushButton::clicked, this, [this] { done(kPortDialogRetry); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(kPortDialogCancel); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { done(kPortDialogStart); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {start_, retry_, cancel_}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(Scaled(this, 480), Scaled(this, 240));
}

int PortDialog::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

void PortDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The device name column fills what the first two leave.
    const int rest = list_->viewport()->width() - list_->columnWidth(0) - list_->columnWidth(1);
    list_->setColumnWidth(2, std::max(rest, Scaled(this, kViaColumn)));
}

}  // namespace trakvio
