// Layout of the user editor: account and web rights in the left column, SMPP options,
// limits and credit in the right one, so the editor fits a 768-pixel screen.
#include "accounts/user_editor.h"
#include "ui/access_keys.h"

namespace accounts {

ui::Template UserEditorTemplate(bool existingAccount) {
    using namespace ui;
    const unsigned nameFlags = existingAccount ? Flag::ReadOnly : Flag::None;
    Control menu = Combo("webMenu", "Web Menu Options:");
    Control routing = Edit("routing", "Recipient address(es) to route to this user:");
    Control name = Edit("name", "User Name:", nameFlags);
    Control left = Group("account", "", {
        name,
        Edit("password", "Password:", Flag::Password),
        Edit("fullName", "Full Name:"),
        Check("webLogin", "Enable Web Login for this user"),
        menu,
        Check("admin", "Enable Admin Access (Edit User Accounts)"),
        Check("smtpLogin", "Enable SMTP Login for this user"),
        Check("priority", "Send messages for this user with high priority"),
        Check("accept", "Accept received messages for this user"),
        routing,
        Edit("allowedIps", "Restrict to IP Address(es):"),
        Edit("forcedSender", "Forced Sender Address:"),
    });
    Control right = Group("options", "", {
        Check("smppLogin", "Enable SMPP (or UCP) Login for this user"),
        Check("speed", "Limit speed of receiving messages for this account"),
        Edit("speedText", "# Messages/# Seconds:"),
        Check("useTlv", "Use TLV parameters for port numbers and segmentation"),
        Check("useDataSm", "Use Data_SM PDU (SMS Hubbing)"),
        Check("async", "Use SMPP Async Mode"),
        Combo("charset", "SMSC Character Set:"),
        Check("defaultLimits", "Use Default Message Sending Limits for this user"),
        Edit("dayLimit", "Max messages per day:", Flag::Number),
        Static("today", ""),
        Edit("monthLimit", "Max messages per month:", Flag::Number),
        Static("thisMonth", ""),
        Check("credit", "Enable Credit Balance"),
        Static("balance", ""),
        Edit("creditsToAdd", "Credits to add:"),
    });
    std::vector<Control> all = {Row("columns", {left, right}), OkCancelRow()};
    return ui::WithAccessKeys(ui::Template{"DIALOG_USERINFO", "Edit User", all});
}

}  // namespace accounts
