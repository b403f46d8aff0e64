#include "shell/sheet/pages.h"

#include "accounts/users_page.h"
#include "server/ssl_page.h"
#include "server/web_page.h"
#include "shell/sheet/debug_logs_page.h"
#include "shell/sheet/service_page.h"
#include "shell/sheet/status_page.h"
#include "smsc/smsc_page.h"
#include "twoway/twoway_page.h"
#include "viewers/queue_viewer.h"

namespace shell {
std::unique_ptr<ui::Page> MakeStatusPage() { return std::make_unique<StatusPage>(); }
std::unique_ptr<ui::Page> MakeServicePage() { return std::make_unique<ServicePage>(); }
std::unique_ptr<ui::Page> MakeSmscPage(const std::string& title) { return smsc::CreateSmscPage(title); }
std::unique_ptr<ui::Page> MakeWebPage() { return server::CreateWebPage(); }
std::unique_ptr<ui::Page> MakeUsersPage() { return std::make_unique<accounts::UsersPage>(); }
std::unique_ptr<ui::Page> MakeTwoWayPage() {
    twoway::TwoWayViewers hooks;
    hooks.receivedSms = [](ui::Host& host) { viewers::OpenQueueViewer(host, viewers::ViewerKind::ReceivedSms); };
    hooks.receivedMms = [](ui::Host& host) { viewers::OpenQueueViewer(host, viewers::ViewerKind::ReceivedMms); };
    return twoway::CreateTwoWayPage(std::move(hooks));
}
std::unique_ptr<ui::Page> MakeSslPage() { return server::CreateSslPage(); }
std::unique_ptr<ui::Page> MakeDebugLogsPage() { return std::make_unique<DebugLogsPage>(); }

}  // namespace shell
