#include "shell/sheet/pages.h"

#include "shell/core/console_page.h"
#include "smsc/smsc_page.h"
#include "shell/sheet/debug_logs_page.h"
#include "shell/sheet/service_page.h"
#include "shell/sheet/status_page.h"
#include "twoway/twoway_page.h"

namespace shell {
namespace {
std::unique_ptr<ui::Page> Empty(const char* id, const std::string& title) {
    return std::make_unique<EmptyPage>(id, title);
}
}  // namespace

std::unique_ptr<ui::Page> MakeStatusPage() { return std::make_unique<StatusPage>(); }
std::unique_ptr<ui::Page> MakeServicePage() { return std::make_unique<ServicePage>(); }
std::unique_ptr<ui::Page> MakeSmscPage(const std::string& title) { return smsc::CreateSmscPage(title); }
std::unique_ptr<ui::Page> MakeWebPage() { return Empty("DIALOG_WEB", "Web"); }
std::unique_ptr<ui::Page> MakeUsersPage() { return Empty("DIALOG_USERS", "SMS Users"); }
std::unique_ptr<ui::Page> MakeTwoWayPage() { return twoway::CreateTwoWayPage(); }
std::unique_ptr<ui::Page> MakeSslPage() { return Empty("DIALOG_SSL", "SSL/TLS"); }
std::unique_ptr<ui::Page> MakeDebugLogsPage() { return std::make_unique<DebugLogsPage>(); }

}  // namespace shell
