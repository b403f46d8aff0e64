// Builds the widgets of a dialog template: fields with their labels in a two-column
// form, group frames, rows, and a trailing row of buttons aligned right.
#pragma once

#include <QLabel>
#include <QWidget>
#include <map>
#include <string>

#include "ui/template.h"

namespace ui {
class Dialog;
}

namespace qtui {

class ReportModel;

// The widgets that show one control of the template.
struct BoundControl {
    ui::Kind kind = ui::Kind::Static;
    unsigned flags = 0;
    std::string templateLabel;
    QWidget* widget = nullptr;      // the control itself (the row container for Row)
    QLabel* label = nullptr;        // the label beside a field, when it has one
    ReportModel* model = nullptr;   // Report only
};

using ControlMap = std::map<std::string, BoundControl>;

struct BuildOptions {
    // Pages of a sheet leave the default button to the sheet's OK.
    bool inSheet = false;
};

// Builds every control of `dialog`'s template into `owner`, which must have no layout
// yet, and records each control's widgets in `controls` by id. Widgets show the
// template's labels; their state is synchronised afterwards by the dialog widget.
void BuildControls(QWidget* owner, ui::Dialog& dialog, ControlMap& controls,
                   const BuildOptions& options);

// Gives a word-wrapped label the width it is laid out for and the height its text
// `shown` needs there; called again whenever the text changes.
void FitWrappedText(QLabel* label, const QString& shown);

// Pixel width of `chars` average characters of `widget`'s font, plus the frame of a field.
int CharsToPixels(const QWidget* widget, int chars);

}  // namespace qtui
