#include "shell/sheet/template_catalog.h"

#include <memory>

#include "accounts/quota.h"
#include "accounts/smpp_clients.h"
#include "accounts/user_editor.h"
#include "config/connection_stats.h"
#include "shell/sheet/pages.h"
#include "modem/add_modem_dialog.h"
#include "modem/connection_type.h"
#include "modem/mms_settings_dialog.h"
#include "modem/modem_properties_dialog.h"
#include "modem/network_modem_dialogs.h"
#include "modem/restrictions_dialog.h"
#include "server/smpp_server_dialog.h"
#include "server/ssl_page.h"
#include "smsc/smpp_advanced_dialog.h"
#include "smsc/smpp_dialog.h"
#include "smsc/http_dialog.h"
#include "smsc/test_message.h"
#include "viewers/event_viewer.h"
#include "viewers/queue_viewer.h"
#include "smsc/ucp_cimd_dialog.h"
#include "twoway/alerts_dialog.h"
#include "twoway/keyword_dialog.h"

namespace shell {

std::vector<ui::Template> PageTemplates() {
    std::vector<std::unique_ptr<ui::Page>> pages;
    pages.push_back(MakeStatusPage());
    pages.push_back(MakeServicePage());
    pages.push_back(MakeSmscPage("SMSC"));
    pages.push_back(MakeWebPage());
    pages.push_back(MakeUsersPage());
    pages.push_back(MakeTwoWayPage());
    pages.push_back(MakeSslPage());
    pages.push_back(MakeDebugLogsPage());

    std::vector<ui::Template> all;
    for (const auto& page : pages) all.push_back(page->GetTemplate());
    return all;
}

std::vector<ui::Template> AllTemplates() {
    std::vector<ui::Template> all = PageTemplates();
    all.push_back(config::ConnectionStatsTemplate());
    all.push_back(modem::ConnectionTypeTemplate());
    all.push_back(modem::AddModemTemplate());
    all.push_back(modem::ModemPropertiesTemplate());
    all.push_back(modem::RestrictionsTemplate());
    all.push_back(modem::AddNetworkModemTemplate());
    all.push_back(modem::NetworkModemPropertiesTemplate());
    all.push_back(modem::PairingWaitTemplate());
    all.push_back(modem::MmsSettingsTemplate());
    all.push_back(modem::MmsRoutingTemplate());
    all.push_back(smsc::SmppTemplate());
    all.push_back(smsc::SmppAdvancedTemplate());
    all.push_back(smsc::UcpConnectionTemplate());
    all.push_back(smsc::CimdConnectionTemplate());
    all.push_back(smsc::HttpConnectionTemplate());
    all.push_back(smsc::TestMessageTemplate());
    all.push_back(viewers::QueueViewerTemplate(viewers::ViewerKind::Outbound));
    all.push_back(viewers::MmsDetailsTemplate());
    all.push_back(viewers::EventLogTemplate());
    all.push_back(server::SslCertTemplate());
    all.push_back(server::SmppServerTemplate());
    all.push_back(accounts::UserEditorTemplate());
    all.push_back(accounts::UserStatsTemplate());
    all.push_back(accounts::SmppClientsTemplate());
    all.push_back(twoway::AlertsTemplate());
    all.push_back(twoway::KeywordTemplate());
    return all;
}

}  // namespace shell
