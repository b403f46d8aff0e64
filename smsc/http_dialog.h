// The "HTTP Connection" dialog: a message provider's web server reached by URL
// templates. Server types prefill it (two built-in providers, template directories on
// disk); OK checks the URL, the proxy and the templates, tests the connection (always,
// even while the Gateway service runs) and hands back the connection edit record.
#pragma once

#include <string>

#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

// "DIALOG_HTTP".
ui::Template HttpConnectionTemplate();

// `EditHttpConnection`: modal; true when OK accepted the connection (the test passed),
// `record` then holding the new connection edit record; false on Cancel, `record` as it
// was.
bool RunHttpConnectionDialog(ui::Host& host, std::string& record);

}  // namespace smsc
