// The "Web" page: the web interface's ports, address, login and menus, the SMPP and
// UCP/EMI server ports, and the IP addresses allowed to or blocked from the web
// interface. The page only stores settings; the Gateway service reads them.
#pragma once

#include <memory>
#include <string>

#include "shell/core/console_page.h"

namespace server {

// The page's template ("DIALOG_WEB", tab "Web").
ui::Template WebPageTemplate();

class WebPage : public shell::ConsolePage {
public:
    WebPage();
    // Fills every control from ZELLA.INI, the lists and the machine's addresses.
    void OnInit() override;
    // Shows the SSL fields that the TLS state allows now (a certificate may have been
    // generated since the page was made).
    void OnSetActive() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    // Checks the ports ("A port number is required to enable the web interface", "Port
    // numbers must be unique"), then writes the keys and both lists.
    bool OnApply() override;

private:
    void ShowTlsFields();
    // Adds the box's text to its list, resolving host names ("Allowed" or "Blocked").
    void AddAddress(bool allowed);
    void RemoveAddress(bool allowed);
    void AccessWebInterface();
    bool WriteSettings();
    bool certificate_ = false;  // the SSL web port is in use (a certificate was present)
};

std::unique_ptr<ui::Page> CreateWebPage();

}  // namespace server
