#include "qt/sheet_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "qt/owned.h"

namespace qtui {

namespace {
constexpr int kMinSheetChars = 72;  // pages are designed for a wide property sheet
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
        auto* holder = MakeChild<QWidget>(tabs_);
        auto* holderLayout = MakeChild<QVBoxLayout>(holder);
        holderLayout->setContentsMargins(0, 0, 0, 0);
        QString title = i < static_cast<int>(titles.size()) ? QString::fromStdString(titles[i])
                                                            : QString();
        tabs_->addTab(holder, title);
    }
    pages_.assign(static_cast<std::size_t>(sheet.PageCount()), nullptr);
    tabs_->setMinimumWidth(CharsToPixels(tabs_, kMinSheetChars));
    layout->addWidget(tabs_, 1);

    auto* buttons = MakeChild<QHBoxLayout>();
    buttons->addStretch(1);
    ok_ = MakeChild<QPushButton>(tr("OK"), this);
    cancel_ = MakeChild<QPushButton>(tr("Cancel"), this);
    apply_ = MakeChild<QPushButton>(tr("Apply"), this);
    help_ = MakeChild<QPushButton>(tr("Help"), this);
    ok_->setDefault(true);
    for (QPushButton* b : {ok_, cancel_, apply_, help_}) buttons->addWidget(b);
    help_->setVisible(sheet.HelpButton());
    apply_->setEnabled(false);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressOk(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    connect(apply_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressApply(); });
    connect(help_, &QPushButton::clicked, this, [this] { if (attached_) sheet_.PressHelp(); });
    connect(tabs_, &QTabWidget::currentChanged, this, &SheetWindow::OnTabChanged);
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

DialogWidget* SheetWindow::PageWidget(int index) const {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

ui::DialogView* SheetWindow::CreatePageView(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return nullptr;
    DialogWidget*& page = pages_[static_cast<std::size_t>(index)];
    if (page) return page;
    QWidget* holder = tabs_->widget(index);
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
    if (!sheet_.Activate(index)) {
        // The page being left refused (an unfinished entry): stay on it.
        ++switching_;
        tabs_->setCurrentIndex(sheet_.ActiveIndex());
        --switching_;
    }
}

}  // namespace qtui
