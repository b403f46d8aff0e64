#include "qt/sheet_window.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "qt/owned.h"

namespace qtui {

namespace {
constexpr int kMinSheetChars = 72;  // pages are designed for a wide property sheet
// The tallest sheet: a 1024x768 screen less a window manager's title bar and frame.
constexpr int kMaxSheetHeight = 700;
constexpr int kTitleBarAllowance = 40;  // a window manager's title bar and frame
constexpr int kMinPageHeight = 120;

// The size the widgets of `tmpl` ask for, built without a procedure behind them and
// with every control shown: a page that shows a field later (a port once a certificate
// exists) must not find the sheet too narrow for it then.
QSize TemplateSize(ui::Template tmpl) {
    std::function<void(std::vector<ui::Control>&)> showAll = [&](std::vector<ui::Control>& cs) {
        for (ui::Control& c : cs) {
            c.flags &= ~ui::Flag::Hidden;
            showAll(c.children);
        }
    };
    showAll(tmpl.controls);
    ui::Dialog probe(tmpl);
    DialogWidget widget(probe, BuildOptions{true}, nullptr);
    return widget.sizeHint().expandedTo(widget.minimumSizeHint());
}

int SheetHeightLimit(const QWidget* window) {
    int limit = kMaxSheetHeight;
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen) limit = std::min(limit, screen->availableGeometry().height() - kTitleBarAllowance);
    return limit;
}
}  // namespace

SheetWindow::SheetWindow(ui::Sheet& sheet, QWidget* parent) : QDialog(parent), sheet_(sheet) {
    setWindowTitle(QString::fromStdString(sheet.Caption()));
    setObjectName(QStringLiteral("PropertySheet"));
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if (sheet.MinimizeBox()) flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);

    auto* layout = MakeChild<QVBoxLayout>(this);
    tabs_ = MakeChild<QTabWidget>(this);
    const std::vector<std::string> titles = sheet.TabTitles();
    for (int i = 0; i < sheet.PageCount(); ++i) {
        // A page taller than the sheet scrolls inside it, never pushing the buttons away.
        // The scroll area sits in a plain container: a tab widget asks its pages for
        // their minimum size hint, which a scroll area computes without its minimum size.
        auto* tab = MakeChild<QWidget>(tabs_);
        auto* tabLayout = MakeChild<QVBoxLayout>(tab);
        tabLayout->setContentsMargins(0, 0, 0, 0);
        auto* scroll = MakeChild<QScrollArea>(tab);
        tabLayout->addWidget(scroll);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* holder = MakeChild<QWidget>(scroll);
        auto* holderLayout = MakeChild<QVBoxLayout>(holder);
        holderLayout->setContentsMargins(0, 0, 0, 0);
        // The page never shrinks below what its controls need: the area scrolls instead.
        holderLayout->setSizeConstraint(QLayout::SetMinimumSize);
        scroll->setWidget(holder);
        QString title = i < static_cast<int>(titles.size()) ? QString::fromStdString(titles[i])
                                                            : QString();
        tabs_->addTab(tab, title);
        holders_.push_back(holder);
        scrolls_.push_back(scroll);
    }
    pages_.assign(static_cast<std::size_t>(sheet.PageCount()), nullptr);
    layout->addWidget(tabs_, 1);

    // The desktop's convention orders the sheet's buttons; their keys are
    // ui::kSheetAccessKeys, which the pages leave free.
    auto* buttons = MakeChild<QDialogButtonBox>(this);
    buttons_ = buttons;
    ok_ = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    apply_ = buttons->addButton(tr("App&ly"), QDialogButtonBox::ApplyRole);
    help_ = buttons->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    ok_->setDefault(true);
    help_->setVisible(sheet.HelpButton());
    apply_->setEnabled(false);
    layout->addWidget(buttons);

    connect(ok_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressOk(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    connect(apply_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressApply(); });
    connect(help_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressHelp(); });
    connect(tabs_, &QTabWidget::currentChanged, this, &SheetWindow::OnTabChanged);
    FixPageSize();
}

void SheetWindow::FixPageSize() {
    ensurePolished();
    tabs_->tabBar()->ensurePolished();
    int width = CharsToPixels(tabs_, kMinSheetChars), height = 0;
    for (int i = 0; i < sheet_.PageCount(); ++i) {
        QSize size = TemplateSize(sheet_.PageAt(i).GetTemplate());
        width = std::max(width, size.width());
        height = std::max(height, size.height());
    }
    width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // Every tab title stays readable without the tab bar's scroll arrows.
    width = std::max(width, tabs_->tabBar()->sizeHint().width());
    // Everything of the window but the page area: tab bar and frame, buttons, margins.
    const QMargins m = layout()->contentsMargins();
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs_);
    const int chrome = m.top() + m.bottom() + layout()->spacing() + buttons_->sizeHint().height() +
                       tabs_->tabBar()->sizeHint().height() + frame + 8;
    height = std::clamp(height, kMinPageHeight,
                        std::max(kMinPageHeight, SheetHeightLimit(this) - chrome));
    for (QScrollArea* scroll : scrolls_) scroll->setMinimumSize(width, height);
    fixedHint_ = QDialog::minimumSizeHint();
}

QSize SheetWindow::sizeHint() const {
    return fixedHint_.isValid() ? fixedHint_ : QDialog::sizeHint();
}

SheetWindow::~SheetWindow() { Close(); }

void SheetWindow::Open(ui::Host* host) {
    sheet_.Attach(host, this);
    attached_ = true;
    sheet_.Open();
    apply_->setEnabled(sheet_.ApplyEnabled());
}

int SheetWindow::RunUntilEnded() {
    if (!sheet_.IsEnded()) exec();
    return sheet_.IsEnded() ? sheet_.ResultCode() : ui::kCancel;
}

void SheetWindow::Close() {
    if (!attached_) return;
    attached_ = false;
    sheet_.Detach();
    // Pages hold a pointer to their view; the widgets go with this window.
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i]) sheet_.PageAt(static_cast<int>(i)).Detach();
}

QScrollArea* SheetWindow::PageArea(int index) const {
    if (index < 0 || index >= static_cast<int>(scrolls_.size())) return nullptr;
    return scrolls_[static_cast<std::size_t>(index)];
}

DialogWidget* SheetWindow::PageWidget(int index) const {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

ui::DialogView* SheetWindow::CreatePageView(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
    DialogWidget*& page = pages_[static_cast<std::size_t>(index)];
    if (page) return page;
    QWidget* holder = holders_[static_cast<std::size_t>(index)];
    page = MakeChild<DialogWidget>(sheet_.PageAt(index), BuildOptions{true}, holder);
    holder->layout()->addWidget(page);
    connect(page, &DialogWidget::titleChanged, this,
            [this, index](const QString& title) { tabs_->setTabText(index, title); });
    return page;
}

void SheetWindow::PageActivated(int index) {
    ++switching_;
    tabs_->setCurrentIndex(index);
    --switching_;
    if (DialogWidget* page = PageWidget(index)) page->SyncAll();
}

void SheetWindow::ApplyEnabledChanged(bool enabled) { apply_->setEnabled(enabled); }

void SheetWindow::SheetEnded(int result) { QDialog::done(result); }

void SheetWindow::reject() {
    if (attached_ && !sheet_.IsEnded()) sheet_.PressCancel();
}

void SheetWindow::OnTabChanged(int index) {
    if (switching_ > 0 || !attached_ || sheet_.IsEnded()) return;
    if (index == sheet_.ActiveIndex()) return;
    // Back to the page being left before anything is painted: its kill-active question
    // (an unfinished entry, an empty list) is asked in front of it, and only a switch
    // the sheet accepts shows the new tab.
    ++switching_;
    tabs_->setCurrentIndex(sheet_.ActiveIndex());
    --switching_;
    sheet_.Activate(index);
}

}  // namespace qtui
