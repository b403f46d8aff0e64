// The one QApplication of the Qt tests, and sample templates shared by them.
#pragma once

#include <QApplication>
#include <string>

#include "ui/template.h"

namespace qtui_test {

// Creates the application on first use (offscreen under the test runner).
QApplication& App();
// Directory receiving the rendered pictures; created on first use.
std::string RenderDir();
// A template using every kind of control and every flag.
ui::Template EveryControlTemplate();

}  // namespace qtui_test
