// The SMPP server options ("DIALOG_SMPPSERVER", "SMPP Server Configuration Options"):
// gateway-wide defaults of the SMPP server that each user's settings may override.
#pragma once

#include "ui/dialog.h"
#include "ui/host.h"

namespace server {

ui::Template SmppServerTemplate();

class SmppServerDialog : public ui::Dialog {
public:
    SmppServerDialog();
    // Fills the TLV box, the enquire-link time-out ("120" when empty), the character set
    // and the connections per client (4 when it reads as 0).
    void OnInit() override;
    // Writes the keys at once, independent of the page's Apply; "Unable to save ..." and
    // the dialog stays open when the file cannot be written.
    void OnOk() override;
};

// Shows the dialog modally.
void EditSmppServerOptions(ui::Host& host);

}  // namespace server
