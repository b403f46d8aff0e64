// Every template of the console drawn offscreen, so that no dialog ships broken.
#include <gtest/gtest.h>

#include "shell/sheet/template_catalog.h"
#include "tests/qt/render_checks.h"

namespace {

TEST(TemplateCatalog, EveryTemplateRendersOrderlyWithItsLabels) {
    std::vector<ui::Template> all = shell::AllTemplates();
    EXPECT_FALSE(all.empty());
    for (const ui::Template& t : all) {
        SCOPED_TRACE(t.id);
        qtui_test::CheckTemplate(t);
    }
}

}  // namespace
