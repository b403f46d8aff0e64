// Checks shared by the render tests.
#pragma once

#include <QRect>
#include <QWidget>

#include "ui/template.h"

namespace qtui_test {

// Renders `t` to a PNG in the render directory and checks the picture, then builds its
// window and checks that every control shows its label, field labels stand beside
// their fields and no two visible controls overlap. Reports through gtest.
void CheckTemplate(const ui::Template& t);
// Rectangle of `w` in its window's coordinates.
QRect InWindow(const QWidget* w);

}  // namespace qtui_test
