// The time texts of mail headers and alert texts.
#pragma once

#include <string>

#include "platform/clock.h"

namespace viewers {

// "Tue, 2 Jan 2024 05:07:09 GMT" for the UTC time `utc`.
std::string HttpDateText(const platform::SystemTime& utc);
// The current UTC time as above.
std::string HttpDateText();

// The date `local` in the locale's long form (day, month name, year); in the C/POSIX
// locale (C.UTF-8 too), or when the locale cannot format it, "January 2, 2024". At most 100 characters.
std::string LongDateText(const platform::SystemTime& local);
// The gateway's current local date as above.
std::string LongDateText();

// The time `local` in the locale's time format without seconds; "05:07" when the locale
// has none. At most 20 characters.
std::string ShortTimeText(const platform::SystemTime& local);
// The gateway's current local time as above.
std::string ShortTimeText();

}  // namespace viewers
