#include "qt/render.h"

#include <QApplication>
#include <QPixmap>

#include "qt/dialog_window.h"
#include "qt/qt_host.h"
#include "qt/sheet_window.h"

namespace qtui {

namespace {

bool HaveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

// Lays the window out at its preferred size and paints it into a file.
bool Grab(QWidget& window, const std::string& pngPath) {
    window.setAttribute(Qt::WA_DontShowOnScreen, true);
    window.show();
    window.adjustSize();
    QPixmap picture = window.grab();
    window.hide();
    return !picture.isNull() && picture.save(QString::fromStdString(pngPath), "PNG");
}

}  // namespace

bool RenderTemplateToPng(const ui::Template& tmpl, const std::string& pngPath) {
    ui::Dialog dialog(tmpl);
    return RenderDialogToPng(dialog, pngPath);
}

bool RenderDialogToPng(ui::Dialog& dialog, const std::string& pngPath) {
    if (!HaveApplication()) return false;
    QtHost host;
    DialogWindow window(dialog, nullptr);
    window.Open(&host);
    bool ok = Grab(window, pngPath);
    window.Close();
    return ok;
}

bool RenderSheetToPng(ui::Sheet& sheet, const std::string& pngPath, int page) {
    if (!HaveApplication()) return false;
    QtHost host;
    SheetWindow window(sheet, nullptr);
    window.Open(&host);
    if (page >= 0 && page != sheet.ActiveIndex()) sheet.Activate(page);
    bool ok = Grab(window, pngPath);
    window.Close();
    return ok;
}

}  // namespace qtui
