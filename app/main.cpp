// The console's entry: the Qt host normally, the script driver when ZELLA_SCRIPT names a
// script (the console then runs without a display).
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <iostream>
#include <string>

#include "platform/elevation.h"
#include "qt/qt_host.h"
#include "shell/core/console_caption.h"
#include "shell/sheet/startup.h"
#include "ui/script_driver.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    shell::StartupOptions options;
    options.args = Arguments(argc, argv);
    // Before anything reads the environment: a copy started by pkexec acts only where
    // its checked arguments say.
    if (!platform::AdoptElevationArguments(options.args)) return 2;

    if (auto script = ui::MakeScriptHostFromEnvironment(std::cout)) {
        script->SetCaption(shell::kConsoleCaption);
        int code = shell::RunConsole(*script, options);
        return script->ExitStatus(code);
    }

    bool styleChosen = !qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE");
    for (int i = 1; i < argc; ++i) styleChosen = styleChosen || std::string(argv[i]).starts_with("-style");
    QApplication app(argc, argv);
    QApplication::setApplicationName("zella");
    // One look wherever the console runs (VNC, X, Wayland): Fusion, unless the user chose
    // a style through Qt's own settings.
    if (!styleChosen) QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    qtui::QtHost host;
    host.SetCaption(shell::kConsoleCaption);
    options.loadIcon = [] {
        QIcon icon(":/zella/icon.png");
        if (icon.isNull()) return false;
        QApplication::setWindowIcon(icon);
        return true;
    };
    return shell::RunConsole(host, options);
}
