#include "qt/layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/owned.h"
#include "qt/report_model.h"
#include "qt/tab_stop_delegate.h"
#include "ui/dialog.h"

namespace qtui {

using ui::Control;
using ui::Kind;
namespace Flag = ui::Flag;

namespace {

constexpr int kFieldFrame = 14;       // pixels of frame and margins around a field's text
constexpr int kNumberChars = 10;      // a number field without a width hint
constexpr int kComboMinChars = 16;    // combos never size themselves to their longest item
constexpr int kDefaultListLines = 6;  // list and report height without a hint
// A text field without a width hint shows an e-mail address or a host and port whole.
constexpr int kTextFieldChars = 24;
// Wrapped texts are laid out for at least this width, and tall enough for it.
constexpr int kWrappedTextChars = 48;
// A label longer than this wraps beside its field instead of pushing every field of the
// dialog to the right.
constexpr int kSideLabelChars = 34;

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool IsField(const Control& c) {
    return c.kind == Kind::Edit || c.kind == Kind::Combo || c.kind == Kind::List ||
           c.kind == Kind::Report;
}

// A field whose label goes in the label column.
bool HasSideLabel(const Control& c) {
    return IsField(c) && !c.label.empty() && !(c.flags & Flag::Wide);
}

// A row whose first field's label goes in the label column.
bool LeadsWithLabel(const Control& c) {
    return c.kind == Kind::Row && !c.children.empty() && HasSideLabel(c.children[0]);
}

// A row of a check box and the fields it governs.
bool LeadsWithCheck(const Control& c) {
    return c.kind == Kind::Row && c.children.size() > 1 && c.children[0].kind == Kind::Check;
}

bool AllButtons(const std::vector<Control>& controls) {
    if (controls.empty()) return false;
    for (const Control& c : controls)
        if (c.kind != Kind::Button) return false;
    return true;
}

bool GrowsVertically(const Control& c) {
    if (c.kind == Kind::List || c.kind == Kind::Report) return true;
    if (c.kind == Kind::Edit && (c.flags & Flag::Multiline)) return true;
    for (const Control& child : c.children)
        if (GrowsVertically(child)) return true;
    return false;
}

int LinesToPixels(const QWidget* widget, int lines) {
    return lines * widget->fontMetrics().lineSpacing() + kFieldFrame;
}

class Builder {
public:
    Builder(ui::Dialog& dialog, ControlMap& controls, const BuildOptions& options)
        : dialog_(dialog), controls_(controls), options_(options) {}

    void Build(QWidget* owner);

private:
    QWidget* Make(const Control& c, QWidget* parent);
    QWidget* MakeEdit(const Control& c, QWidget* parent);
    QWidget* MakeCombo(const Control& c, QWidget* parent);
    QWidget* MakeList(const Control& c, QWidget* parent);
    QWidget* MakeReport(const Control& c, QWidget* parent);
    QWidget* MakeGroup(const Control& c, QWidget* parent);
    QWidget* MakeRow(const Control& c, QWidget* parent, bool firstLabelOutside,
                     bool alignRight);
    QWidget* MakeButtonRun(const std::vector<const Control*>& run, QWidget* parent,
                           bool alignRight);
    QWidget* MakeButtonBox(const std::vector<const Control*>& run, QWidget* parent);
    QLabel* MakeSideLabel(const Control& c, QWidget* field, QWidget* parent);
    void Fill(QFormLayout* form, const std::vector<Control>& controls, QWidget* parent);
    void Record(const Control& c, QWidget* widget);
    // Gives every aligned form of one scope the same label column, in window pixels.
    void AlignColumns();

    struct Form {
        QFormLayout* layout;
        int inset;  // pixels from the dialog's grid to this form's left edge
        int scope;  // forms of one scope share their columns
    };
    std::vector<Form> forms_;
    std::vector<int> insetStack_{0};
    int inRow_ = 0;
    int scope_ = 0;
    int scopes_ = 0;

    ui::Dialog& dialog_;
    ControlMap& controls_;
    const BuildOptions& options_;
};

void Builder::Record(const Control& c, QWidget* widget) {
    BoundControl& b = controls_[c.id];
    b.kind = c.kind;
    b.flags = c.flags;
    b.templateLabel = c.label;
    b.widget = widget;
    widget->setObjectName(Q(c.id));
}

QLabel* Builder::MakeSideLabel(const Control& c, QWidget* field, QWidget* parent) {
    QLabel* label = MakeChild<QLabel>(Q(c.label), parent);
    label->setBuddy(field);
    label->setObjectName(Q(c.id + ".label"));
    const int limit = CharsToPixels(label, kSideLabelChars);
    if (label->sizeHint().width() > limit) {
        label->setWordWrap(true);
        label->setMinimumWidth(limit);
        label->setMaximumWidth(limit);
        FitWrappedText(label, Q(ui::StripAccelerator(c.label)));
    }
    controls_[c.id].label = label;
    return label;
}

QWidget* Builder::MakeEdit(const Control& c, QWidget* parent) {
    if (c.flags & Flag::Multiline) {
        auto* edit = MakeChild<QPlainTextEdit>(parent);
        edit->setReadOnly(c.flags & Flag::ReadOnly);
        edit->setTabChangesFocus(true);
        int lines = c.height > 0 ? c.height : 4;
        edit->setMinimumHeight(LinesToPixels(edit, lines));
        if (c.width > 0) edit->setMinimumWidth(CharsToPixels(edit, c.width));
        return edit;
    }
    auto* edit = MakeChild<QLineEdit>(parent);
    if (c.flags & Flag::Password) edit->setEchoMode(QLineEdit::Password);
    edit->setReadOnly(c.flags & Flag::ReadOnly);
    if (c.flags & Flag::Number) {
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setValidator(MakeChild<QRegularExpressionValidator>(
            QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    int chars = c.width > 0 ? c.width : ((c.flags & Flag::Number) ? kNumberChars : 0);
    if (chars > 0) {
        edit->setFixedWidth(CharsToPixels(edit, chars));
    } else {
        edit->setMinimumWidth(CharsToPixels(edit, kTextFieldChars));
    }
    return edit;
}

QWidget* Builder::MakeCombo(const Control& c, QWidget* parent) {
    auto* combo = MakeChild<QComboBox>(parent);
    combo->setEditable(c.flags & Flag::Editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(c.width > 0 ? c.width : kComboMinChars);
    if (c.width > 0) combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return combo;
}

QWidget* Builder::MakeList(const Control& c, QWidget* parent) {
    auto* list = MakeChild<QListWidget>(parent);
    list->setSelectionMode((c.flags & Flag::MultiSelect) ? QAbstractItemView::ExtendedSelection
                                                         : QAbstractItemView::SingleSelection);
    list->setItemDelegate(MakeChild<TabStopDelegate>(c.tabStops, list));
    list->setMinimumHeight(LinesToPixels(list, c.height > 0 ? c.height : kDefaultListLines));
    if (c.width > 0) list->setMinimumWidth(CharsToPixels(list, c.width));
    return list;
}

QWidget* Builder::MakeReport(const Control& c, QWidget* parent) {
    auto* view = MakeChild<QTreeView>(parent);
    auto* model = MakeChild<ReportModel>(dialog_, c.id, c.columns, view);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);  // lets the view fetch only the rows it shows
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode((c.flags & Flag::MultiSelect) ? QAbstractItemView::ExtendedSelection
                                                         : QAbstractItemView::SingleSelection);
    // Sized from the titles here; the dialog widget widens them to the first rows once
    // they come (never from every row of a virtual report).
    QHeaderView* header = view->header();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    const bool titled = std::any_of(c.columns.begin(), c.columns.end(),
                                    [](const std::string& t) { return !t.empty(); });
    if (!titled) {
        // Columns without titles: no empty header bar, and equal shares of the width.
        header->hide();
        header->setSectionResizeMode(QHeaderView::Stretch);
    }
    // Header clicks go to the procedure, which orders the rows; the view never sorts.
    header->setSectionsClickable(true);
    const QFontMetrics fm = view->fontMetrics();
    for (int i = 0; i < static_cast<int>(c.columns.size()); ++i) {
        int w = std::max(fm.horizontalAdvance(Q(c.columns[i])) + 3 * fm.averageCharWidth(),
                         10 * fm.averageCharWidth());
        view->setColumnWidth(i, w);
    }
    view->setMinimumHeight(LinesToPixels(view, (c.height > 0 ? c.height : kDefaultListLines) + 1));
    if (c.width > 0) view->setMinimumWidth(CharsToPixels(view, c.width));
    controls_[c.id].model = model;
    return view;
}

QWidget* Builder::MakeGroup(const Control& c, QWidget* parent) {
    auto* box = MakeChild<QGroupBox>(Q(c.label), parent);
    // A frame without a title is only a separator from what stands above it.
    if (c.label.empty()) box->setFlat(true);
    auto* form = MakeChild<QFormLayout>(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A label stays beside its field however narrow a frame standing beside another gets.
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    // Frames stacked in the dialog's grid share its label column; frames side by side
    // in a row have columns of their own.
    box->ensurePolished();
    const int saved = inRow_;
    const int inset = saved ? 0 : insetStack_.back() + box->contentsRect().left() +
                                      form->contentsMargins().left();
    forms_.push_back({form, inset, saved ? ++scopes_ : scope_});
    insetStack_.push_back(inset);
    inRow_ = 0;
    const int savedScope = scope_;
    scope_ = forms_.back().scope;
    Fill(form, c.children, box);
    scope_ = savedScope;
    inRow_ = saved;
    insetStack_.pop_back();
    if (!GrowsVertically(c)) box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    return box;
}

QWidget* Builder::MakeRow(const Control& c, QWidget* parent, bool firstLabelOutside,
                          bool alignRight) {
    auto* row = MakeChild<QWidget>(parent);
    auto* box = MakeChild<QHBoxLayout>(row);
    box->setContentsMargins(0, 0, 0, 0);
    if (alignRight) box->addStretch(1);
    bool grows = false;
    ++inRow_;
    for (std::size_t i = 0; i < c.children.size(); ++i) {
        const Control& child = c.children[i];
        if (i == 0 && firstLabelOutside && child.kind == Kind::Check) continue;
        QWidget* w = Make(child, row);
        if (HasSideLabel(child) && !(i == 0 && firstLabelOutside))
            box->addWidget(MakeSideLabel(child, w, row));
        // Frames side by side share the row's height, so their titles and edges line up.
        if (child.kind == Kind::Group)
            w->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        bool stretchy = IsField(child) || child.kind == Kind::Group;
        if (child.kind == Kind::Edit && child.width > 0) stretchy = false;
        if (child.kind == Kind::Combo && child.width > 0) stretchy = false;
        if (child.kind == Kind::Edit && (child.flags & Flag::Number) && child.width == 0)
            stretchy = false;
        box->addWidget(w, stretchy ? 1 : 0);
        grows = grows || stretchy;
    }
    --inRow_;
    if (!grows && !alignRight) box->addStretch(1);
    Record(c, row);
    return row;
}

QWidget* Builder::MakeButtonRun(const std::vector<const Control*>& run, QWidget* parent,
                                bool alignRight) {
    auto* row = MakeChild<QWidget>(parent);
    auto* box = MakeChild<QHBoxLayout>(row);
    box->setContentsMargins(0, 0, 0, 0);
    if (alignRight) box->addStretch(1);
    for (const Control* c : run) box->addWidget(Make(*c, row));
    if (!alignRight) box->addStretch(1);
    return row;
}

QWidget* Builder::MakeButtonBox(const std::vector<const Control*>& run, QWidget* parent) {
    // The desktop's convention orders the dialog's closing buttons.
    auto* box = MakeChild<QDialogButtonBox>(parent);
    for (const Control* c : run) {
        auto* button = qobject_cast<QPushButton*>(Make(*c, box));
        if (!button) continue;
        QDialogButtonBox::ButtonRole role = QDialogButtonBox::ActionRole;
        if (c->id == ui::IDOK) role = QDialogButtonBox::AcceptRole;
        if (c->id == ui::IDCANCEL) role = QDialogButtonBox::RejectRole;
        box->addButton(button, role);
    }
    return box;
}

QWidget* Builder::Make(const Control& c, QWidget* parent) {
    QWidget* w = nullptr;
    switch (c.kind) {
        case Kind::Static: {
            auto* label = MakeChild<QLabel>(parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(c.flags & Flag::Wide);
            if (c.width > 0) label->setMinimumWidth(CharsToPixels(label, c.width));
            if (c.flags & Flag::Wide) FitWrappedText(label, Q(ui::StripAccelerator(c.label)));
            w = label;
            break;
        }
        case Kind::Edit: w = MakeEdit(c, parent); break;
        case Kind::Check: w = MakeChild<QCheckBox>(Q(c.label), parent); break;
        case Kind::Radio: {
            auto* radio = MakeChild<QRadioButton>(Q(c.label), parent);
            // Groups are the dialog's: it clears the other radios of a group.
            radio->setAutoExclusive(false);
            w = radio;
            break;
        }
        case Kind::Button: {
            auto* button = MakeChild<QPushButton>(Q(c.label), parent);
            if ((c.flags & Flag::Default) && !options_.inSheet) button->setDefault(true);
            if (c.width > 0) button->setMinimumWidth(CharsToPixels(button, c.width));
            w = button;
            break;
        }
        case Kind::Combo: w = MakeCombo(c, parent); break;
        case Kind::List: w = MakeList(c, parent); break;
        case Kind::Report: w = MakeReport(c, parent); break;
        case Kind::Group: w = MakeGroup(c, parent); break;
        case Kind::Row: return MakeRow(c, parent, false, AllButtons(c.children));
    }
    Record(c, w);
    return w;
}

void Builder::Fill(QFormLayout* form, const std::vector<Control>& controls, QWidget* parent) {
    bool labelColumn = false;
    for (const Control& c : controls) {
        if (HasSideLabel(c) || LeadsWithLabel(c) || LeadsWithCheck(c)) labelColumn = true;
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        if (c.kind == Kind::Button) {
            std::vector<const Control*> run;
            while (i < controls.size() && controls[i].kind == Kind::Button)
                run.push_back(&controls[i++]);
            --i;
            form->addRow(MakeButtonRun(run, parent, false));
        } else if (HasSideLabel(c)) {
            QWidget* field = Make(c, parent);
            form->addRow(MakeSideLabel(c, field, parent), field);
        } else if (LeadsWithLabel(c)) {
            QWidget* row = MakeRow(c, parent, true, false);
            const Control& first = c.children[0];
            form->addRow(MakeSideLabel(first, controls_[first.id].widget, parent), row);
        } else if (LeadsWithCheck(c)) {
            // The check box in the label column, what it governs in the field column.
            QWidget* check = Make(c.children[0], parent);
            form->addRow(check, MakeRow(c, parent, true, false));
        } else if (labelColumn && c.kind != Kind::Group && c.kind != Kind::Row &&
                   c.kind != Kind::Check && c.kind != Kind::Radio && c.kind != Kind::Static &&
                   !(c.flags & Flag::Wide)) {
            form->addRow(QString(), Make(c, parent));
        } else {
            form->addRow(Make(c, parent));
        }
    }
}

void Builder::AlignColumns() {
    std::map<int, int> column;  // scope -> label column's right edge, from the grid's left
    for (std::size_t i = 0; i < forms_.size(); ++i) {
        const Form& f = forms_[i];
        // Fields line up across the frames of a scope; labels within their own frame.
        const QString label = QStringLiteral("label %1").arg(i);
        for (int r = 0; r < f.layout->rowCount(); ++r) {
            for (auto role : {QFormLayout::LabelRole, QFormLayout::FieldRole,
                              QFormLayout::SpanningRole}) {
                QLayoutItem* item = f.layout->itemAt(r, role);
                if (!item || !item->widget()) continue;
                // Tests and style sheets find the column of each widget here.
                item->widget()->setProperty(
                    "zellaColumn", role == QFormLayout::FieldRole ? QStringLiteral("field") : label);
                item->widget()->setProperty("zellaScope", f.scope);
                if (role == QFormLayout::LabelRole) {
                    int& right = column[f.scope];
                    const QWidget* w = item->widget();
                    right = std::max(right,
                                     f.inset + std::min(w->sizeHint().width(), w->maximumWidth()));
                }
            }
        }
    }
    for (const Form& f : forms_) {
        for (int r = 0; r < f.layout->rowCount(); ++r) {
            QLayoutItem* item = f.layout->itemAt(r, QFormLayout::LabelRole);
            if (!item || !item->widget()) continue;
            QWidget* w = item->widget();
            const int width = column[f.scope] - f.inset;
            // A wrapped label may widen to the column; its height was taken narrower.
            if (w->maximumWidth() < width) w->setMaximumWidth(width);
            w->setMinimumWidth(width);
        }
    }
}

void Builder::Build(QWidget* owner) {
    const std::vector<Control>& all = dialog_.GetTemplate().controls;
    // The buttons closing the template (a row of them, or a run of loose ones) form the
    // dialog's button row at the bottom right.
    std::size_t bodyEnd = all.size();
    if (!all.empty() && all.back().kind == Kind::Row && AllButtons(all.back().children)) {
        bodyEnd = all.size() - 1;
    } else {
        while (bodyEnd > 0 && all[bodyEnd - 1].kind == Kind::Button) --bodyEnd;
    }
    std::vector<Control> body(all.begin(), all.begin() + bodyEnd);

    auto* outer = MakeChild<QVBoxLayout>(owner);
    if (all.empty()) {
        // A part of the configuration whose page is still to come says so in one line.
        auto* note = MakeChild<QLabel>(
            QObject::tr("This part of the configuration is not available yet."), owner);
        note->setObjectName(QStringLiteral("notAvailable"));
        outer->addWidget(note);
        outer->addStretch(1);
        return;
    }
    auto* form = MakeChild<QFormLayout>();
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    forms_.push_back({form, 0, 0});
    Fill(form, body, owner);
    AlignColumns();
    bool grows = false;
    for (const Control& c : body) grows = grows || GrowsVertically(c);
    outer->addLayout(form, grows ? 1 : 0);
    if (!grows) outer->addStretch(1);

    if (bodyEnd == all.size()) return;
    const bool row = bodyEnd == all.size() - 1 && all.back().kind == Kind::Row;
    std::vector<const Control*> run;
    for (const Control& c : row ? all.back().children : all)
        if (row || &c >= &all[bodyEnd]) run.push_back(&c);
    bool closes = false;
    for (const Control* c : run) closes = closes || c->id == ui::IDOK || c->id == ui::IDCANCEL;
    if (closes && !options_.inSheet) {
        QWidget* box = MakeButtonBox(run, owner);
        if (row) Record(all.back(), box);
        outer->addWidget(box);
    } else if (row) {
        outer->addWidget(MakeRow(all.back(), owner, false, true));
    } else {
        outer->addWidget(MakeButtonRun(run, owner, true));
    }
}

}  // namespace

void FitWrappedText(QLabel* label, const QString& shown) {
    // A dialog's window is sized from minimum sizes, which know nothing of wrapping: the
    // text gets the height it needs at the narrowest it is laid out, so it is never cut.
    // A label with a set width (beside a field) wraps there; free text at its minimum.
    const int width =
        label->maximumWidth() < QWIDGETSIZE_MAX
            ? label->maximumWidth()
            : std::max(label->minimumWidth(), CharsToPixels(label, kWrappedTextChars));
    if (label->maximumWidth() == QWIDGETSIZE_MAX) label->setMinimumWidth(width);
    const int height = shown.isEmpty() ? 0
                                       : label->fontMetrics()
                                             .boundingRect(QRect(0, 0, width, 100000),
                                                           Qt::TextWordWrap | Qt::AlignLeft, shown)
                                             .height();
    label->setMinimumHeight(height);
}

int CharsToPixels(const QWidget* widget, int chars) {
    return chars * widget->fontMetrics().averageCharWidth() + kFieldFrame;
}

void BuildControls(QWidget* owner, ui::Dialog& dialog, ControlMap& controls,
                   const BuildOptions& options) {
    Builder(dialog, controls, options).Build(owner);
}

}  // namespace qtui
