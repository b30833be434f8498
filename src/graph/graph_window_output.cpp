// The graph window's outputs and settings boxes: SVG and EMF files, the two
// clipboard copies, the moving-average count, the SVG resolution and the
// reference printer.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <climits>
#include <cstdlib>

#include "app/file_dialog.h"
#include "app/input_box.h"
#include "app/qt_text.h"
#include "compute/statistics.h"
#include "graph/graph_output.h"
#include "graph/graph_window.h"
#include "platform/messages.h"

namespace trakvio {

namespace {

namespace fs = std::filesystem;

// Highest SVG resolution the box accepts: beyond it the pixel sizes of a
// window-sized graph no longer fit the coordinates.
constexpr unsigned kMaxSvgDpi = 65535;
// Control id of the printer list.
constexpr int kPrinterListId = 3005;

void ReportWriteFailure(const fs::path& path) {
    ShowMessage("Cannot write the file:\n" + path.string(), "Trakvio", MessageButtons::kOk, kAnswerOk,
                MessageIcon::kError);
}

}  // namespace

std::vector<PrinterEntry> SystemPrinters() {
    std::vector<PrinterEntry> printers;
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
        QPrinter printer(info, QPrinter::HighResolution);
        printers.push_back({Utf8FromQString(info.printerName()), printer.resolution()});
    }
    return printers;
}

void GraphWindow::SaveSvg() {
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = QStringLiteral("保存するSVGファイルを指定");
    request.filter = QStringLiteral("SVG files {*.svg,*.htm,*.html}");
    request.seed = state_.settings.svgFile;
    const std::vector<fs::path> chosen = RunFileDialog(this, request);
    if (chosen.empty() || !SizeUsable()) return;
    fs::path written;
    const GraphOutputResult result = SaveGraphSvg(chosen.front(), state_.store, state_.settings.graph,
                                                  Canvas()->width(), Canvas()->height(), DisplayDpi(), &written);
    state_.settings.svgFile = written;
    if (GraphOutputFailed(result)) ReportWriteFailure(written);
}

void GraphWindow::SaveEmf() {
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = QStringLiteral("保存するEMFのファイル名を指定");
    request.filter = QStringLiteral("Enhanced Metafiles {*.emf}");
    request.seed = state_.settings.emfFile;
    request.defaultSuffix = QStringLiteral("emf");
    const std::vector<fs::path> chosen = RunFileDialog(this, request);
    if (chosen.empty() || !SizeUsable()) return;
    state_.settings.emfFile = chosen.front();
    if (SaveGraphEmf(chosen.front(), state_.store, state_.settings.graph, Canvas()->width(), Canvas()->height(),
                     DisplayDpi(), ReferenceDpi()) != kGraphWritten) {
        ReportWriteFailure(chosen.front());
    }
}

// The metafile is written to a private temporary folder and handed to the
// clipboard under both names programs look for.
void GraphWindow::CopyEmf() {
    if (!SizeUsable()) return;
    QTemporaryDir folder;
    if (!folder.isValid()) return;
    const fs::path path = PathFromQString(folder.filePath(QStringLiteral("graph.emf")));
    if (SaveGraphEmf(path, state_.store, state_.settings.graph, Canvas()->width(), Canvas()->height(), DisplayDpi(),
                     ReferenceDpi()) != kGraphWritten) {
        return;
    }
    QFile file(QStringFromPath(path));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("image/emf"), bytes);
    mime->setData(QStringLiteral("image/x-emf"), bytes);
    QApplication::clipboard()->setMimeData(mime);
}

void GraphWindow::CopyBitmap() {
    if (BackBuffer().isNull()) return;
    QApplication::clipboard()->setImage(BackBuffer());
}

void GraphWindow::ChangeSpeedWindow() {
    TrackStore& store = state_.store;
    const QString title = QStringLiteral("Set Moving Average Number for dl/dt");
    const QString prompt = QStringLiteral("「速度＝⊿距離/⊿時間」を算出する移動平均数(≧１)を変更");
    long count = 0;
    for (;;) {
        QString text = QString::number(store.speedWindow);
        if (RunInputBox(this, title, prompt, text) != kInputBoxOk) return;
        count = std::strtol(Utf8FromQString(text).c_str(), nullptr, 10);
        if (count >= 1) break;
    }
    store.speedWindow = static_cast<int32_t>(std::min<long>(count, INT32_MAX));
    ComputeSpeeds(store, store.speedWindow);
    if (state_.settings.graph.yItem == 3) Redraw();
}

void GraphWindow::ChangeSvgDpi() {
    GraphSettings& graph = state_.settings.graph;
    const QString prompt = QStringLiteral("SVGでの解像度(DPI)を指定（0:ディスプレイ(%1dpi)と同じ）").arg(DisplayDpi());
    QString text = QString::number(graph.svgDpi);
    if (RunInputBox(this, QStringLiteral("Set SVG DPI"), prompt, text) != kInputBoxOk) return;
    bool ok = false;
    const unsigned dpi = text.trimmed().toUInt(&ok, 10);
    // Text that is no resolution keeps the one there was.
    if (ok && dpi <= kMaxSvgDpi) graph.svgDpi = dpi;
}

int GraphWindow::ReferenceDpi() {
    const std::string& name = state_.settings.graph.referencePrinter;
    if (name.empty()) return DisplayDpi();
    if (name == referenceDpiName_ && referenceDpi_ > 0) return referenceDpi_;
    const std::vector<PrinterEntry> printers = printerSource_ ? printerSource_() : std::vector<PrinterEntry>{};
    for (const PrinterEntry& printer : printers) {
        if (printer.name == name && printer.dpi > 0) {
            referenceDpiName_ = name;
            referenceDpi_ = printer.dpi;
            return printer.dpi;
        }
    }
    return DisplayDpi();  // the printer is gone: the display stands in
}

void GraphWindow::ChooseReferencePrinter() {
    std::vector<PrinterEntry> entries = printerSource_ ? printerSource_() : std::vector<PrinterEntry>{};
    if (entries.empty()) return;
    if (entries.size() > kMaxReferencePrinters) entries.resize(kMaxReferencePrinters);
    const int printerCount = static_cast<int>(entries.size());
    GraphSettings& graph = state_.settings.graph;
    int selection = printerCount;
    for (int i = 0; i < printerCount; ++i) {
        if (!graph.referencePrinter.empty() && entries[static_cast<size_t>(i)].name == graph.referencePrinter) {
            selection = i;
            break;
        }
    }
    entries.push_back({"(Display)", DisplayDpi()});

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("MYDIALOG"));
    dialog.setWindowTitle(QStringLiteral("プリンタの選択"));
    dialog.setFont(QFont(QStringLiteral("Meiryo UI"), 9));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("list%1").arg(kPrinterListId));
    // 190 x 90 dialog units of a 9-point face: about 4 x 8 units a character.
    const QFontMetrics fm(dialog.font());
    list->setMinimumSize(190 * fm.averageCharWidth() / 4, 90 * fm.height() / 8);
    for (const PrinterEntry& entry : entries) {
        list->addItem(QStringLiteral("%1 [%2dpi]").arg(QStringFromUtf8(entry.name)).arg(entry.dpi));
    }
    list->setCurrentRow(selection);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);

    int answer;
    if (printerDialogHook_) {
        dialog.setModal(true);
        dialog.show();
        printerDialogHook_(dialog, *list);
        answer = dialog.result();
        dialog.hide();
    } else {
        answer = dialog.exec();
    }
    if (answer == QDialog::Accepted) selection = list->currentRow();

    if (selection >= 0 && selection < printerCount) {
        const PrinterEntry& chosen = entries[static_cast<size_t>(selection)];
        graph.referencePrinter = chosen.name;
        referenceDpiName_ = chosen.name;
        referenceDpi_ = chosen.dpi;
    } else {
        graph.referencePrinter.clear();
    }
    QApplication::clipboard()->setText(QStringFromUtf8(graph.referencePrinter));
}

}  // namespace trakvio
