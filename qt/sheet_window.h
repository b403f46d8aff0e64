// The window of a property sheet: one tab per page, each scrolling inside a size taken
// once from every page (a page's widgets are built the first time the
// sheet activates it), and the OK, Cancel, Apply and Help buttons. Tab changes, the
// buttons, Escape and the close box all go through the sheet, which may refuse them.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <memory>
#include <vector>

#include "qt/dialog_widget.h"
#include "ui/host.h"
#include "ui/sheet.h"

namespace qtui {

class SheetWindow : public QDialog, public ui::SheetView {
    Q_OBJECT
public:
    // The sheet must outlive the window.
    SheetWindow(ui::Sheet& sheet, QWidget* parent);
    // Detaches the sheet and every page created through this window.
    ~SheetWindow() override;

    // Attaches the sheet with `host` and opens its start page. Does not show the window.
    void Open(ui::Host* host);
    // Runs the window modally until the sheet ends; returns its result.
    int RunUntilEnded();
    void Close();

    QTabWidget& Tabs() { return *tabs_; }
    // The widgets of page `index`; null until the sheet has created that page.
    DialogWidget* PageWidget(int index) const;
    // The scrolling area holding page `index` in its tab.
    QScrollArea* PageArea(int index) const;
    QPushButton& OkButton() { return *ok_; }
    QPushButton& CancelButton() { return *cancel_; }
    QPushButton& ApplyButton() { return *apply_; }
    QPushButton& HelpButton() { return *help_; }

    // The size taken once from every page's widgets, before the sheet is shown: the
    // sheet never grows when a page is built or filled later.
    QSize sizeHint() const override;

    // ---- ui::SheetView ------------------------------------------------------------------
    ui::DialogView* CreatePageView(int index) override;
    void PageActivated(int index) override;
    void ApplyEnabledChanged(bool enabled) override;
    void SheetEnded(int result) override;

public slots:
    // Escape and the close box are Cancel.
    void reject() override;

private:
    void OnTabChanged(int index);
    // Sizes every tab's page area from the largest page, within the screen's height.
    void FixPageSize();

    ui::Sheet& sheet_;
    QTabWidget* tabs_ = nullptr;
    QWidget* buttons_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* help_ = nullptr;
    std::vector<QScrollArea*> scrolls_;
    std::vector<QWidget*> holders_;     // where each page's widgets go, inside its scroll area
    QSize fixedHint_;
    std::vector<DialogWidget*> pages_;  // owned by their tab, null until created
    bool attached_ = false;
    int switching_ = 0;  // > 0 while the tab is moved to follow the sheet
};

}  // namespace qtui
