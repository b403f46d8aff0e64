#include "tests/qt/qt_test_app.h"

#include <QDir>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

namespace qtui_test {

namespace {

std::unique_ptr<QApplication> app;

// The application lives from before the first test object is built until the tests are
// done: widgets of a fixture need it in their constructors, and Qt must not be torn
// down by exit handlers after its own globals are gone.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { App(); }
    void TearDown() override { app.reset(); }
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

}  // namespace

QApplication& App() {
    static int argc = 1;
    static char name[] = "qt_render_test";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!app) app = std::make_unique<QApplication>(argc, argv);
    return *app;
}

std::string RenderDir() {
    std::string dir = ZELLA_RENDER_DIR;
    QDir().mkpath(QString::fromStdString(dir));
    return dir;
}

ui::Template EveryControlTemplate() {
    using namespace ui;
    Template t;
    t.id = "DIALOG_SAMPLE";
    t.title = "Every control";
    t.controls = {
        Static("IDC_INTRO", "Settings of a sample connection && its test.", Flag::Wide),
        Edit("IDC_NAME", "&Name:"),
        Row("IDC_HOSTROW", {Edit("IDC_HOST", "&Host:"), Edit("IDC_PORT", "&Port:", Flag::Number)}),
        Edit("IDC_PASSWORD", "Pass&word:", Flag::Password),
        Edit("IDC_SYSTEM", "System ID:", Flag::ReadOnly),
        Combo("IDC_TYPE", "&Type:"),
        Combo("IDC_CHARSET", "&Charset:", Flag::Editable | Flag::Sorted),
        Check("IDC_LOG", "&Log traffic"),
        Check("IDC_SPARE", "Spare check", Flag::Disabled),
        Static("IDC_STATUS", "Status: idle"),
        Group("IDC_MODEGROUP", "Mode",
              {Radio("IDC_MODE_TX", "Transmitter", Flag::GroupStart),
               Radio("IDC_MODE_RX", "Receiver"), Radio("IDC_MODE_TRX", "Transceiver"),
               Radio("IDC_BIND_A", "Bind A", Flag::GroupStart), Radio("IDC_BIND_B", "Bind B")}),
        Edit("IDC_NOTES", "N&otes:", Flag::Multiline),
        List("IDC_KEYWORDS", "&Keywords:", Flag::None, {12, 28}),
        Report("IDC_QUEUE", "&Queue:", {"File", "Recipient", "Size"}, Flag::MultiSelect),
        Edit("IDC_HIDDEN", "Hidden:", Flag::Hidden),
        Row("IDC_ACTIONS", {Button("IDC_ADD", "&Add"), Button("IDC_EDIT", "&Edit"),
                            Button("IDC_REMOVE", "&Remove")}),
        Edit("IDC_WIDE", "", Flag::Wide),
        OkCancelRow(),
    };
    return t;
}

}  // namespace qtui_test
