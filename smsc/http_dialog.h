// The "HTTP Connection" dialog: a message provider's web server reached by URL
// templates. Server types prefill it (two built-in providers, template directories on
// disk); OK checks the URL, the proxy and the templates, tests the connection (always,
// even while the Gateway service runs) and hands back the connection edit record.
#pragma once

#include "ui/template.h"

namespace smsc {

// "DIALOG_HTTP".
ui::Template HttpConnectionTemplate();

}  // namespace smsc
