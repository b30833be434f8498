// Placeholder until the graph window is built.
#include "graph/graph_window.h"

namespace trakvio {

GraphWindow::GraphWindow(AppState& state, Shell& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), shell_(shell) {
    setWindowTitle(QStringLiteral("Trakvio Graph"));
    resize(500, 260);
}

void GraphWindow::Redraw() { update(); }
void GraphWindow::SetHoverPoint(int) {}

}  // namespace trakvio
