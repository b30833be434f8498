#include "app/mtk_erase_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "devices/mtk_protocol.h"

namespace trakvio {
namespace {

constexpr int kStep = 10;
constexpr int kTicksPerRound = 26;

}  // namespace

MtkEraseDialog::MtkEraseDialog(QWidget* parent, std::shared_ptr<std::atomic<bool>> cancel)
    : QDialog(parent), cancel_(std::move(cancel)) {
    setObjectName(QStringLiteral("MTKERASEDLG"));
    setWindowTitle(QStringLiteral("Erasing Log Data - MTK Logger"));
    text_ = new QLabel(QStringLiteral("ログデータ消去中..."), this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, kStep * kTicksPerRound);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cancelButton_, &QPushButton::clicked, this, &MtkEraseDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));

    connect(&timer_, &QTimer::timeout, this, &MtkEraseDialog::Tick);
    timer_.start(1000);
}

void MtkEraseDialog::Tick() {
    if (++ticks_ >= kTicksPerRound) ticks_ = 0;
    bar_->setValue(ticks_ * kStep);
}

void MtkEraseDialog::Finish(int result) {
    timer_.stop();
    done(result);
}

void MtkEraseDialog::reject() {
    // Ends the dialog and the erase thread's wait for the acknowledgement.
    cancel_->store(true);
    Finish(kMtkEraseCancelled);
}

void MtkEraseDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        cancel_->store(true);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);  // Escape rejects
}

}  // namespace trakvio
