// The "2-Way" page of the property sheet: the keyword command table (changes stored at
// once), the receive settings and the PHP group (stored on Apply).
#pragma once

#include <functional>
#include <memory>

#include "ui/sheet.h"
#include "ui/template.h"

namespace twoway {

// "DIALOG_RECV".
ui::Template TwoWayTemplate();

// What the page opens that other parts of the console provide: the received SMS and MMS
// viewers behind the two "View" buttons (nothing happens while they are not set).
struct TwoWayViewers {
    std::function<void(ui::Host&)> receivedSms;
    std::function<void(ui::Host&)> receivedMms;
};

std::unique_ptr<ui::Page> CreateTwoWayPage(TwoWayViewers viewers = {});

}  // namespace twoway
