// Every dialog and page template of the console, so that a renderer test can draw them
// all and no dialog ships broken.
#pragma once

#include <vector>

#include "ui/template.h"

namespace shell {

// The property sheet's pages, then every dialog.
std::vector<ui::Template> PageTemplates();
std::vector<ui::Template> AllTemplates();

}  // namespace shell
