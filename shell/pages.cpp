#include "shell/pages.h"

#include "shell/console_page.h"

namespace shell {
namespace {
std::unique_ptr<ui::Page> Empty(const char* id, const std::string& title) {
    return std::make_unique<EmptyPage>(id, title);
}
}  // namespace

std::unique_ptr<ui::Page> MakeStatusPage() { return Empty("DIALOG_STATUS", "Service"); }
std::unique_ptr<ui::Page> MakeServicePage() { return Empty("DIALOG_SERVICE", "Service"); }
std::unique_ptr<ui::Page> MakeSmscPage(const std::string& title) { return Empty("DIALOG_SMSC", title); }
std::unique_ptr<ui::Page> MakeWebPage() { return Empty("DIALOG_WEB", "Web"); }
std::unique_ptr<ui::Page> MakeUsersPage() { return Empty("DIALOG_USERS", "SMS Users"); }
std::unique_ptr<ui::Page> MakeTwoWayPage() { return Empty("DIALOG_RECV", "2-Way"); }
std::unique_ptr<ui::Page> MakeSslPage() { return Empty("DIALOG_SSL", "SSL/TLS"); }
std::unique_ptr<ui::Page> MakeDebugLogsPage() { return Empty("DIALOG_DEBUG", "Debug Logs"); }

}  // namespace shell
