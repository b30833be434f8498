#include "app/file_dialog.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <system_error>
#include <utility>

#include "app/qt_text.h"

namespace trakvio {
namespace {

FileDialogHook& Hook() {
    static FileDialogHook hook;
    return hook;
}

}  // namespace

QString QtNameFilter(const QString& filter) {
    QStringList out;
    for (const QString& one : filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        qsizetype open = one.indexOf(u'{');
        qsizetype close = one.lastIndexOf(u'}');
        if (open < 0 || close < open) {
            out << one;
            continue;
        }
        QStringList patterns = one.mid(open + 1, close - open - 1).split(u',', Qt::SkipEmptyParts);
        for (QString& p : patterns) p = p.trimmed();
        out << one + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return out.join(QStringLiteral(";;"));
}

std::vector<std::filesystem::path> RunFileDialog(QWidget* owner, const FileDialogRequest& request) {
    QFileDialog dialog(owner, request.title);
    const bool save = (request.mode & kFileDialogSave) != 0;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (save) {
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setFileMode((request.mode & kFileDialogMultiple) ? QFileDialog::ExistingFiles
                                                                : QFileDialog::ExistingFile);
    }
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    QString filters = QtNameFilter(request.filter);
    dialog.setNameFilters(filters.split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    if (!dialog.nameFilters().isEmpty()) dialog.selectNameFilter(dialog.nameFilters().first());
    if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);

    if (!request.seed.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(request.seed, ec)) {
            dialog.setDirectory(QStringFromPath(request.seed));
        } else {
            std::filesystem::path folder = request.seed.parent_path();
            if (!folder.empty()) dialog.setDirectory(QStringFromPath(folder));
            dialog.selectFile(QStringFromPath(request.seed.filename()));
        }
    }

    if (Hook()) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        FileDialogHook hook = Hook();
        QTimer::singleShot(0, &dialog, [&dialog, hook] { hook(dialog); });
    }
    std::vector<std::filesystem::path> chosen;
    if (dialog.exec() != QDialog::Accepted) return chosen;
    for (const QString& name : dialog.selectedFiles()) chosen.push_back(PathFromQString(name));
    return chosen;
}

void SetFileDialogHookForTest(FileDialogHook hook) { Hook() = std::move(hook); }

}  // namespace trakvio
