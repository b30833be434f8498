#include "app/input_box.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/file_dialog.h"
#include "app/qt_text.h"
#include "app/window_test_support.h"

namespace trakvio {
namespace {

// Ok hands back the text, cut at the box's limit (Cancel is checked through
// the commands that use the box).
TEST(InputBox, OkHandsBackTheTextUpToItsLimit) {
    SetInputBoxHookForTest([](InputBox& box) {
        box.edit()->setText(QString(300, u'7'));
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    QString text = QStringLiteral("0.000");
    EXPECT_EQ(RunInputBox(nullptr, QStringLiteral("t"), QStringLiteral("p"), text), kInputBoxOk);
    SetInputBoxHookForTest(nullptr);
    EXPECT_EQ(text, QString(kInputBoxTextLimit, u'7'));
}

TEST(FileDialog, FiltersShowTheProgramsTextAndSelectTheFirst) {
    EXPECT_EQ(QtNameFilter(QStringLiteral("HTML files {*.htm,*.html}")),
              QStringLiteral("HTML files {*.htm,*.html} (*.htm *.html)"));
    QTemporaryDir dir;
    QString chosen = dir.filePath(QStringLiteral("out"));
    SetFileDialogHookForTest([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("ZIP files {*.zip}"));
        dialog.selectFile(chosen);
        static_cast<QDialog&>(dialog).accept();  // QFileDialog::accept is protected
    });
    FileDialogRequest request;
    request.mode = kFileDialogSave;
    request.title = QStringLiteral("保存する圧縮書庫ファイルを指定");
    request.filter = QStringLiteral("ZIP files {*.zip}");
    request.defaultSuffix = QStringLiteral("zip");
    auto paths = RunFileDialog(nullptr, request);
    SetFileDialogHookForTest(nullptr);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(QStringFromPath(paths[0]), chosen + QStringLiteral(".zip"));
}

}  // namespace
}  // namespace trakvio
