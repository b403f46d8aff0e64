#include "qt/dialog_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <algorithm>

#include "qt/owned.h"
#include "qt/report_model.h"

namespace qtui {

using ui::Kind;

namespace {

constexpr int kMinFieldDialogChars = 52;
// Rows measured when a report's columns are fitted: a screenful and more, never the
// whole of a report that may hold a hundred thousand rows.
constexpr int kFittedRows = 100;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList ToList(const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<int>(items.size()));
    for (const std::string& s : items) list << Q(s);
    return list;
}

QStringList ItemsOf(const QComboBox* combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
    return list;
}

QStringList ItemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

std::vector<int> SelectedRowsOf(const QItemSelectionModel* selection) {
    std::vector<int> rows;
    for (const QModelIndex& index : selection->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

QString FromDialogText(const std::string& text) {
    QString s = Q(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string ToDialogText(const QString& text, bool multiline) {
    if (!multiline) return text.toStdString();
    // Multi-line edit texts carry CR LF line ends, as the procedures store them.
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s.toStdString();
}

DialogWidget::DialogWidget(ui::Dialog& dialog, const BuildOptions& options, QWidget* parent)
    : QWidget(parent), dialog_(dialog) {
    BuildControls(this, dialog_, controls_, options);
    bool fields = false;
    for (const auto& [id, bound] : controls_)
        fields = fields || bound.kind == Kind::Edit || bound.kind == Kind::Combo ||
                 bound.kind == Kind::List || bound.kind == Kind::Report;
    // Fields narrower than this make host names and paths unreadable.
    if (fields) SetWidthFloor(CharsToPixels(this, kMinFieldDialogChars));
    for (const auto& [id, bound] : controls_) Connect(id, bound);
    SyncAll();
}

QSize DialogWidget::minimumSizeHint() const {
    return QWidget::minimumSizeHint().expandedTo(QSize(widthFloor_, 0));
}

QSize DialogWidget::sizeHint() const {
    return QWidget::sizeHint().expandedTo(QSize(widthFloor_, 0));
}

DialogWidget::~DialogWidget() {
    for (auto& [id, timer] : timers_) timer->stop();
}

const BoundControl* DialogWidget::Find(const std::string& id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

void DialogWidget::SyncAll() {
    for (const auto& [id, bound] : controls_) Sync(id);
}

template <typename Fn>
void DialogWidget::Deliver(const std::string& id, Fn&& action) {
    if (updating_ > 0 || dialog_.IsEnded() || !dialog_.Initialized()) return;
    action();
    // The procedure may have changed other controls too (a radio clears its group), and
    // corrects what the user did when it refuses it.
    (void)id;
    SyncAll();
}

void DialogWidget::Sync(const std::string& id) {
    auto it = controls_.find(id);
    if (it == controls_.end() || !dialog_.Has(id)) return;
    const BoundControl& b = it->second;
    const ui::ControlState& s = dialog_.State(id);
    ++updating_;
    switch (b.kind) {
        case Kind::Static: {
            auto* label = static_cast<QLabel*>(b.widget);
            // The template's own label may carry accelerator marks; texts set later are
            // shown as they are (a URL keeps its "&").
            QString text = s.text == b.templateLabel ? Q(ui::StripAccelerator(s.text)) : Q(s.text);
            if (label->text() != text) {
                label->setText(text);
                if (label->wordWrap()) FitWrappedText(label, text);
            }
            break;
        }
        case Kind::Edit:
            if (auto* line = qobject_cast<QLineEdit*>(b.widget)) {
                if (line->text() != Q(s.text)) line->setText(Q(s.text));
            } else if (auto* plain = qobject_cast<QPlainTextEdit*>(b.widget)) {
                QString text = FromDialogText(s.text);
                if (plain->toPlainText() != text) plain->setPlainText(text);
            }
            break;
        case Kind::Check:
        case Kind::Radio: {
            auto* button = static_cast<QAbstractButton*>(b.widget);
            if (button->text() != Q(s.text)) button->setText(Q(s.text));
            button->setChecked(s.checked);
            break;
        }
        case Kind::Button: {
            auto* button = static_cast<QPushButton*>(b.widget);
            if (button->text() != Q(s.text)) button->setText(Q(s.text));
            break;
        }
        case Kind::Group: static_cast<QGroupBox*>(b.widget)->setTitle(Q(s.text)); break;
        case Kind::Combo:
            SyncItems(b, s);
            break;
        case Kind::List:
            SyncItems(b, s);
            SyncEmptyLine(id, b, s);
            break;
        case Kind::Report:
            SyncReport(b, s);
            SyncEmptyLine(id, b, s);
            break;
        case Kind::Row: break;
    }
    SyncCommon(b, s);
    --updating_;
}

void DialogWidget::SyncCommon(const BoundControl& b, const ui::ControlState& s) {
    for (QWidget* w : {b.widget, static_cast<QWidget*>(b.label)}) {
        if (!w) continue;
        if (w->isEnabled() != s.enabled) w->setEnabled(s.enabled);
        if (w->isHidden() == s.visible) w->setVisible(s.visible);
    }
    if (b.widget->toolTip() != Q(s.tip)) b.widget->setToolTip(Q(s.tip));
    // An alarm colours the whole line: the field and the label beside it.
    for (QWidget* w : {b.widget, static_cast<QWidget*>(b.label)}) {
        if (!w) continue;
        const bool red = w->testAttribute(Qt::WA_SetPalette) &&
                         w->palette().color(QPalette::WindowText) == AlarmColor();
        if (s.alarm && !red) {
            QPalette p = w->palette();
            for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                p.setColor(role, AlarmColor());
            w->setPalette(p);
        } else if (!s.alarm && red) {
            w->setPalette(QPalette());
        }
        // Bold as well as red: the alarm must not rest on colour alone.
        if (w->font().bold() != s.alarm) {
            QFont f = w->font();
            f.setBold(s.alarm);
            w->setFont(f);
        }
    }
}

void DialogWidget::SyncItems(const BoundControl& b, const ui::ControlState& s) {
    const QStringList items = ToList(s.items);
    if (auto* combo = qobject_cast<QComboBox*>(b.widget)) {
        if (ItemsOf(combo) != items) {
            combo->clear();
            combo->addItems(items);
        }
        if (combo->currentIndex() != s.selection) combo->setCurrentIndex(s.selection);
        if (combo->isEditable() && combo->currentText() != Q(s.text))
            combo->setEditText(Q(s.text));
        return;
    }
    auto* list = static_cast<QListWidget*>(b.widget);
    if (ItemsOf(list) != items) {
        list->clear();
        list->addItems(items);
    }
    if (b.flags & ui::Flag::MultiSelect) {
        std::vector<int> want = s.selectedRows;
        if (want.empty() && s.selection >= 0) want.push_back(s.selection);
        if (SelectedRowsOf(list->selectionModel()) == want) return;
        list->clearSelection();
        for (int row : want)
            if (QListWidgetItem* item = list->item(row)) item->setSelected(true);
    } else if (list->currentRow() != s.selection || (s.selection < 0) != list->selectedItems().isEmpty()) {
        list->setCurrentRow(s.selection);
        if (s.selection < 0) list->clearSelection();
    }
}

void DialogWidget::SyncReport(const BoundControl& b, const ui::ControlState& s) {
    auto* view = static_cast<QTreeView*>(b.widget);
    if (b.model->rowCount() != s.rowCount) b.model->Reload();
    QHeaderView* header = view->header();
    header->setSortIndicatorShown(s.sortColumn >= 0);
    // Set even when unchanged: a click on a marked header flips the mark by itself.
    if (s.sortColumn >= 0)
        header->setSortIndicator(s.sortColumn, s.sortDescending ? Qt::DescendingOrder
                                                                : Qt::AscendingOrder);
    QItemSelectionModel* selection = view->selectionModel();
    if (SelectedRowsOf(selection) == s.selectedRows) return;
    QItemSelection wanted;
    for (int row : s.selectedRows) {
        if (row < 0 || row >= b.model->rowCount()) continue;
        wanted.select(b.model->index(row, 0), b.model->index(row, b.model->columnCount() - 1));
    }
    selection->select(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!s.selectedRows.empty()) {
        const QModelIndex first = b.model->index(s.selectedRows.front(), 0);
        selection->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        view->scrollTo(first);  // a row the procedure selects is one the user should see
    }
}

void DialogWidget::Connect(const std::string& id, const BoundControl& b) {
    switch (b.kind) {
        case Kind::Edit:
            if (auto* line = qobject_cast<QLineEdit*>(b.widget)) {
                // textEdited, unlike textChanged, is never emitted for setText.
                connect(line, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                    Deliver(id, [&] { dialog_.UserSetText(id, ToDialogText(text, false)); });
                });
            } else if (auto* plain = qobject_cast<QPlainTextEdit*>(b.widget)) {
                connect(plain, &QPlainTextEdit::textChanged, this, [this, id, plain] {
                    QString text = plain->toPlainText();
                    Deliver(id, [&] { dialog_.UserSetText(id, ToDialogText(text, true)); });
                });
            }
            break;
        case Kind::Check:
        case Kind::Radio:
        case Kind::Button:
            connect(static_cast<QAbstractButton*>(b.widget), &QAbstractButton::clicked, this,
                    [this, id] { Deliver(id, [&] { dialog_.UserClick(id); }); });
            break;
        case Kind::Combo: {
            auto* combo = static_cast<QComboBox*>(b.widget);
            connect(combo, &QComboBox::activated, this,
                    [this, id](int index) { Deliver(id, [&] { dialog_.UserSelect(id, index); }); });
            if (combo->isEditable()) {
                connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                        [this, id](const QString& text) {
                            Deliver(id, [&] { dialog_.UserSetText(id, text.toStdString()); });
                        });
            }
            break;
        }
        case Kind::List:
        case Kind::Report: ConnectItemView(id, b); break;
        default: break;
    }
}

void DialogWidget::ConnectItemView(const std::string& id, const BoundControl& b) {
    auto* view = static_cast<QAbstractItemView*>(b.widget);
    keyViews_[view] = id;
    view->installEventFilter(this);
    const bool multi = b.flags & ui::Flag::MultiSelect;
    const bool report = b.kind == Kind::Report;
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, id, view, multi, report] {
                std::vector<int> rows = SelectedRowsOf(view->selectionModel());
                Deliver(id, [&] {
                    if (report || multi) {
                        dialog_.UserSelectRows(id, rows);
                    } else {
                        dialog_.UserSelect(id, rows.empty() ? -1 : rows.front());
                    }
                });
            });
    connect(view, &QAbstractItemView::doubleClicked, this, [this, id](const QModelIndex& index) {
        Deliver(id, [&] { dialog_.UserDoubleClick(id, index.row()); });
    });
    if (!report) return;
    QHeaderView* header = static_cast<QTreeView*>(view)->header();
    connect(header, &QHeaderView::sectionClicked, this,
            [this, id](int column) { Deliver(id, [&] { dialog_.UserColumnClick(id, column); }); });
    // A column the user sized keeps its width through every refresh.
    connect(header, &QHeaderView::sectionResized, this, [this, id, header](int column) {
        if (fitting_ == 0 && updating_ == 0 && column < header->count() - 1)
            userSized_[id].insert(column);
    });
    FitColumns(id, b);
}

void DialogWidget::SyncEmptyLine(const std::string& id, const BoundControl& b,
                                 const ui::ControlState& s) {
    auto* view = static_cast<QAbstractItemView*>(b.widget);
    QWidget* viewport = view->viewport();
    QLabel*& line = emptyLines_[viewport];
    const bool empty = b.kind == Kind::Report ? s.rowCount == 0 : s.items.empty();
    const bool shown = empty && !s.emptyText.empty();
    if (!line) {
        if (!shown) return;
        line = MakeChild<QLabel>(viewport);
        line->setObjectName(QString::fromStdString(id + ".empty"));
        line->setWordWrap(true);
        line->setTextFormat(Qt::PlainText);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette p = line->palette();
        p.setColor(QPalette::WindowText, p.color(QPalette::PlaceholderText));
        line->setPalette(p);
        viewport->installEventFilter(this);
    }
    line->setText(Q(s.emptyText));
    const int margin = line->fontMetrics().averageCharWidth();
    line->setGeometry(viewport->rect().adjusted(margin, margin / 2, -margin, 0));
    line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    line->setVisible(shown);
}

bool DialogWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        auto it = emptyLines_.find(watched);
        if (it != emptyLines_.end() && it->second) {
            auto* viewport = static_cast<QWidget*>(watched);
            const int margin = it->second->fontMetrics().averageCharWidth();
            it->second->setGeometry(viewport->rect().adjusted(margin, margin / 2, -margin, 0));
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto it = keyViews_.find(watched);
    if (it == keyViews_.end() || updating_ > 0 || dialog_.IsEnded() || !dialog_.Initialized())
        return QWidget::eventFilter(watched, event);
    const std::string id = it->second;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    bool handled = false;
    if (mods == Qt::NoModifier) {
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                handled = dialog_.UserKey(id, ui::Key::Enter);
                break;
            case Qt::Key_Insert:
                handled = dialog_.UserKey(id, ui::Key::Insert);
                break;
            case Qt::Key_Delete:
                handled = dialog_.UserKey(id, ui::Key::Delete);
                break;
            default:
                break;
        }
        if (handled) {
            if (!dialog_.IsEnded()) SyncAll();
            return true;
        }
    }
    const QString text = key->text();
    if ((mods & ~Qt::ShiftModifier) == Qt::NoModifier && !text.isEmpty() && text.at(0).isPrint()) {
        // Letters typed in quick succession search on from what was typed before, as a
        // list of the desktop does.
        if (typedIn_ != watched || !sinceTyped_.isValid() ||
            sinceTyped_.elapsed() > QApplication::keyboardInputInterval())
            typed_.clear();
        // A space that begins no search is the list's own: it selects the current row.
        if (typed_.isEmpty() && text == QStringLiteral(" "))
            return QWidget::eventFilter(watched, event);
        typedIn_ = watched;
        sinceTyped_.start();
        typed_ += text;
        dialog_.UserTypeAhead(id, typed_.toStdString());
        if (!dialog_.IsEnded()) SyncAll();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DialogWidget::ScrollRequested(const std::string& id, int row) {
    auto it = controls_.find(id);
    if (it == controls_.end()) return;
    const BoundControl& b = it->second;
    if (auto* list = qobject_cast<QListWidget*>(b.widget)) {
        if (QListWidgetItem* item = list->item(row)) list->scrollToItem(item);
    } else if (b.model && row < b.model->rowCount()) {
        static_cast<QTreeView*>(b.widget)->scrollTo(b.model->index(row, 0));
    }
}

void DialogWidget::ControlChanged(const std::string& id) { Sync(id); }

void DialogWidget::RowsChanged(const std::string& id) {
    auto it = controls_.find(id);
    if (it == controls_.end() || !it->second.model) return;
    ++updating_;
    it->second.model->Reload();
    --updating_;
    FitColumns(id, it->second);
    Sync(id);
}

void DialogWidget::FitColumns(const std::string& id, const BoundControl& b) {
    auto* view = static_cast<QTreeView*>(b.widget);
    QHeaderView* header = view->header();
    const int columns = b.model->columnCount();
    // A list whose columns have no titles shows no header, and its columns share the
    // width equally.
    if (header->isHidden()) return;
    const QFontMetrics fm = view->fontMetrics();
    const int pad = 3 * fm.averageCharWidth();  // the cell's margins and a little air
    const int limit = std::max(view->viewport()->width(), CharsToPixels(view, 40));
    const int rows = std::min(b.model->rowCount(), kFittedRows);
    const std::set<int>& sized = userSized_[id];
    ++fitting_;
    for (int c = 0; c < columns; ++c) {
        if (sized.count(c)) continue;
        int want = header->sectionSizeHint(c);
        for (int r = 0; r < rows; ++r)
            want = std::max(want,
                            fm.horizontalAdvance(
                                b.model->data(b.model->index(r, c), Qt::DisplayRole).toString()) +
                                pad);
        want = std::min(want, limit);
        // Only wider: a column never jumps narrower under the operator's eyes.
        if (want > header->sectionSize(c)) header->resizeSection(c, want);
    }
    --fitting_;
}

void DialogWidget::TitleChanged() { emit titleChanged(Q(dialog_.Title())); }

void DialogWidget::FocusRequested(const std::string& id) {
    auto it = controls_.find(id);
    if (it != controls_.end()) it->second.widget->setFocus(Qt::OtherFocusReason);
}

void DialogWidget::TimerSet(int timerId, int ms) {
    std::unique_ptr<QTimer>& timer = timers_[timerId];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, timerId] {
            if (!dialog_.IsEnded()) dialog_.UserTimer(timerId);
        });
    }
    timer->start(std::max(ms, 0));
}

// Stopped, not deleted: the procedure may kill a timer from inside its own tick.
void DialogWidget::TimerKilled(int timerId) {
    auto it = timers_.find(timerId);
    if (it != timers_.end()) it->second->stop();
}

void DialogWidget::Ended(int result) {
    for (auto& [id, timer] : timers_) timer->stop();
    emit ended(result);
}

}  // namespace qtui
