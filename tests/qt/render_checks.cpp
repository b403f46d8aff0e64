// Checks shared by the render tests: the picture of a template exists, and every control
// is there with its label, beside its field, overlapping nothing.
#include "tests/qt/render_checks.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "qt/dialog_window.h"
#include "qt/qt_host.h"
#include "qt/render.h"
#include "tests/qt/qt_test_app.h"

namespace qtui_test {

using ui::Kind;


QRect InWindow(const QWidget* w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

namespace {

void ExpectPicture(const std::string& path, bool hasControls) {
    QFileInfo info(QString::fromStdString(path));
    ASSERT_TRUE(info.exists()) << path;
    EXPECT_GT(info.size(), 0) << path;
    QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull()) << path;
    // An empty template (a page still to be designed) is only a frame.
    EXPECT_GE(image.width(), hasControls ? 100 : 1) << path;
    EXPECT_GE(image.height(), hasControls ? 40 : 1) << path;
}

// The widget of each control exists and shows the control's label.
void ExpectLabels(qtui::DialogWindow& window, const ui::Template& t) {
    ui::ForEachControl(t.controls, [&](const ui::Control& c) {
        if (c.id.empty()) return;
        const qtui::BoundControl* b = window.Widget().Find(c.id);
        ASSERT_NE(b, nullptr) << t.id << " lacks " << c.id;
        QWidget* found = window.findChild<QWidget*>(QString::fromStdString(c.id));
        EXPECT_EQ(found, b->widget) << t.id << " " << c.id;
        const QString label = QString::fromStdString(c.label);
        switch (c.kind) {
            case Kind::Check:
            case Kind::Radio:
            case Kind::Button:
                EXPECT_EQ(static_cast<QAbstractButton*>(b->widget)->text(), label) << c.id;
                break;
            case Kind::Group:
                EXPECT_EQ(static_cast<QGroupBox*>(b->widget)->title(), label) << c.id;
                break;
            case Kind::Static:
                EXPECT_EQ(static_cast<QLabel*>(b->widget)->text().toStdString(),
                          ui::StripAccelerator(c.label)) << c.id;
                break;
            case Kind::Edit:
            case Kind::Combo:
            case Kind::List:
            case Kind::Report:
                if (c.label.empty()) break;
                ASSERT_NE(b->label, nullptr) << t.id << " " << c.id;
                EXPECT_EQ(b->label->text(), label) << c.id;
                if (!(c.flags & ui::Flag::Wide)) {
                    EXPECT_EQ(b->label->buddy(), b->widget) << c.id;
                }
                break;
            case Kind::Row: break;
        }
    });
}

bool IsAncestor(const QWidget* a, const QWidget* b) {
    for (const QWidget* p = b; p; p = p->parentWidget())
        if (p == a) return true;
    return false;
}

// Visible controls and labels never overlap, and field labels stand left of their
// field on the same line.
void ExpectOrderly(qtui::DialogWindow& window, const ui::Template& t) {
    std::vector<QWidget*> shown;
    ui::ForEachControl(t.controls, [&](const ui::Control& c) {
        const qtui::BoundControl* b = window.Widget().Find(c.id);
        if (!b || c.kind == Kind::Row) return;
        for (QWidget* w : {b->widget, static_cast<QWidget*>(b->label)})
            if (w && w->isVisible()) shown.push_back(w);
        if (b->label && b->label->isVisible() && !(c.flags & ui::Flag::Wide)) {
            QRect l = InWindow(b->label), f = InWindow(b->widget);
            EXPECT_LE(l.right(), f.left()) << t.id << " " << c.id << " label not left of field";
            EXPECT_TRUE(l.top() <= f.bottom() && f.top() <= l.bottom())
                << t.id << " " << c.id << " label not beside field";
        }
    });
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            if (IsAncestor(shown[i], shown[j]) || IsAncestor(shown[j], shown[i])) continue;
            EXPECT_FALSE(InWindow(shown[i]).intersects(InWindow(shown[j])))
                << t.id << ": " << shown[i]->objectName().toStdString() << " overlaps "
                << shown[j]->objectName().toStdString();
        }
}

// One grid per dialog: widgets the renderer put in one column of one scope (the dialog,
// or a frame standing beside another) start at the same x; nothing leaves the window.
void ExpectColumns(qtui::DialogWindow& window, const ui::Template& t) {
    std::map<std::pair<int, std::string>, std::vector<QWidget*>> columns;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const QVariant column = w->property("zellaColumn");
        if (column.isValid())
            columns[{w->property("zellaScope").toInt(), column.toString().toStdString()}]
                .push_back(w);
    }
    for (const auto& [key, widgets] : columns) {
        for (QWidget* w : widgets) {
            EXPECT_EQ(InWindow(w).left(), InWindow(widgets.front()).left())
                << t.id << ": " << w->objectName().toStdString() << " not in the " << key.second
                << " column of " << widgets.front()->objectName().toStdString();
        }
    }
    ui::ForEachControl(t.controls, [&](const ui::Control& c) {
        const qtui::BoundControl* b = window.Widget().Find(c.id);
        if (b && b->widget->isVisible()) {
            EXPECT_TRUE(window.rect().contains(InWindow(b->widget)))
                << t.id << ": " << c.id << " leaves the window";
        }
    });
}

}  // namespace

void CheckTemplate(const ui::Template& t) {
    qtui_test::App();
    const std::string path = qtui_test::RenderDir() + "/" + t.id + ".png";
    ASSERT_TRUE(qtui::RenderTemplateToPng(t, path)) << t.id;
    ExpectPicture(path, !t.controls.empty());

    ui::Dialog dialog(t);
    qtui::QtHost host;
    qtui::DialogWindow window(dialog, nullptr);
    window.Open(&host);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    window.adjustSize();
    EXPECT_EQ(window.windowTitle().toStdString(), t.title);
    ExpectLabels(window, t);
    ExpectOrderly(window, t);
    ExpectColumns(window, t);
    window.Close();
}

}  // namespace qtui_test
