// Process entry of the desktop program.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Trakvio（跡帳：径路記録編集）"));
    window.show();
    return app.exec();
}
