// Graph window ("graph"): the graph of the loaded tracks drawn through the
// graph core on a back buffer, with hover, item menus, SVG/EMF saving, the
// clipboard and the reference printer.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/shell.h"
#include "graph/graph_draw.h"

class QAction;
class QDialog;
class QListWidget;
class QMenuBar;

namespace trakvio {

// Menu command ids of the graph window.
inline constexpr int kGraphCmdClose = 1301;
inline constexpr int kGraphCmdSaveSvg = 1302;
inline constexpr int kGraphCmdSaveEmf = 1303;
inline constexpr int kGraphCmdCopyEmf = 1304;
inline constexpr int kGraphCmdCopyBitmap = 1305;
inline constexpr int kGraphCmdXFirst = 1311;  // 1311..1313: X item 1..3
inline constexpr int kGraphCmdYFirst = 1314;  // 1314..1317: Y item 1..4
inline constexpr int kGraphCmdSpeedWindow = 1321;
inline constexpr int kGraphCmdSvgDpi = 1322;
inline constexpr int kGraphCmdReferencePrinter = 1323;

// One line of the reference printer choice.
struct PrinterEntry {
    std::string name;  // UTF-8
    int dpi = 0;
};
// The local printers with their resolutions.
using PrinterSource = std::function<std::vector<PrinterEntry>()>;
// The system's printers (CUPS through Qt's print support).
std::vector<PrinterEntry> SystemPrinters();
// Entries of the printer table besides "(Display)".
inline constexpr int kMaxReferencePrinters = 49;

class GraphCanvas;

class GraphWindow : public QWidget {
    Q_OBJECT
  public:
    GraphWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);
    ~GraphWindow() override;

    // Rebuilds the back buffer from the store and repaints (while shown;
    // showing the window redraws it).
    void Redraw();
    // Hover cross drawn for a point hovered on the map; -1 clears it.
    void SetHoverPoint(int index);

    // Runs menu command id (as the menu does).
    void RunCommand(int id);
    // The menu action of command id, nullptr for none.
    QAction* ActionForId(int id) const;
    // The client area the graph is drawn in.
    QWidget* Canvas() const;
    const QImage& BackBuffer() const { return backBuffer_; }
    const GraphPlotRect& PlotRect() const { return plot_; }
    // The point the graph's own mouse hover is on, -1 for none.
    int HoverPoint() const { return hover_; }
    // The point the graph cross marks (own hover or the map's), -1 for none.
    int MarkedPoint() const { return mark_; }

    // The display resolution the window draws at: the screen's logical DPI,
    // or the value set here (0 returns to the screen's).
    int DisplayDpi() const;
    void SetDisplayDpi(int dpi) { dpiOverride_ = dpi; }
    // Where command 1323 lists printers from (default: SystemPrinters).
    void SetPrinterSource(PrinterSource source) { printerSource_ = std::move(source); }
    // Tests answer the printer dialog through this hook: it gets the dialog
    // and its list and must accept or reject the dialog.
    using PrinterDialogHook = std::function<void(QDialog&, QListWidget&)>;
    void SetPrinterDialogHookForTest(PrinterDialogHook hook) { printerDialogHook_ = std::move(hook); }

    // The nearest drawn point to x inside the plot (first on ties), -1 when
    // nothing is drawn.
    int NearestPointAt(int x) const;
    // Whether the last drawing placed point i (its graphX, graphY are valid).
    bool IsDrawn(int i) const;
    // Mouse handling of the client area (canvas coordinates).
    void HoverAt(int x, int y);
    void EndHover();
    // The resolution EMF output is drawn at: the reference printer's, or the
    // display's when there is none or it is gone.
    int ReferenceDpi();

  signals:
    // The user closed or hid the window: menu item 1022 is enabled again.
    void closedByUser();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    friend class GraphCanvas;
    void BuildMenus();
    void UpdateChecks();
    void SetMark(int index);
    void CanvasResized();
    void BuildNearestTable(const std::vector<int64_t>& columnFirst, const std::vector<int32_t>& lineCounts);
    void SaveSvg();
    void SaveEmf();
    void CopyEmf();
    void CopyBitmap();
    void ChangeSpeedWindow();
    void ChangeSvgDpi();
    void ChooseReferencePrinter();
    bool SizeUsable(bool onceWhileZero = false);

    AppState& state_;
    Shell& shell_;
    QMenuBar* menuBar_ = nullptr;
    GraphCanvas* canvas_ = nullptr;
    std::map<int, QAction*> actions_;
    QImage backBuffer_;
    GraphPlotRect plot_;
    bool drawn_ = false;
    bool zeroSizeReported_ = false;
    int hover_ = -1;
    int mark_ = -1;
    int dpiOverride_ = 0;
    // Nearest drawn point for each x from nearestOrigin_ on; the tracks drawn.
    std::vector<int32_t> nearest_;
    std::vector<bool> trackDrawn_;
    int32_t nearestOrigin_ = 0;
    PrinterSource printerSource_;
    PrinterDialogHook printerDialogHook_;
    std::string referenceDpiName_;
    int referenceDpi_ = 0;
};

}  // namespace trakvio
