// The "2-Way Keyword Processor" dialog, which edits one keyword command.
#pragma once

#include <string>

#include "ui/host.h"
#include "ui/template.h"

namespace twoway {

// "DIALOG_EDIT_KW".
ui::Template KeywordTemplate();

// Shows the dialog for `keywordKey` (empty: a new command). On OK, after the checks of
// CheckKeywordCommand, writes the command section (deleting the old key's section when
// the key changed) and gives 1 with `keywordKey` holding the new key; 0 on Cancel.
int EditKeywordCommand(ui::Host& host, std::string& keywordKey);

}  // namespace twoway
