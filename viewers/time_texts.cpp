#include "viewers/time_texts.h"

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "acctdb/acctdb.h"

namespace viewers {

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

bool CLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strncmp(name, "C.", 2) == 0 ||
           std::strcmp(name, "POSIX") == 0;
}

std::tm ToTm(const platform::SystemTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = Clamp(t.month, 1, 12) - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = Clamp(t.dayOfWeek, 0, 6);
    return tm;
}

// The locale's time format with the seconds taken out ("%H:%M:%S" -> "%H:%M").
std::string WithoutSeconds(std::string format) {
    auto replace = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = format.find(from); at != std::string::npos; at = format.find(from, at + to.size()))
            format.replace(at, from.size(), to);
    };
    replace("%T", "%H:%M");
    replace("%r", "%I:%M %p");
    replace(":%S", "");
    replace(".%S", "");
    replace("%S", "");
    return format;
}

}  // namespace

std::string HttpDateText(const platform::SystemTime& utc) { return platform::HeaderDateText(utc); }

std::string HttpDateText() { return HttpDateText(platform::UtcSystemTime(platform::Clock().UnixMillis())); }

std::string LongDateText(const platform::SystemTime& local) {
    char text[101] = {};
    const std::tm tm = ToTm(local);
    if (!CLocale() && std::strftime(text, sizeof text, "%e %B %Y", &tm) > 0)
        return std::string(text + (text[0] == ' ' ? 1 : 0));
    std::snprintf(text, sizeof text, "%s %d, %d", platform::EnglishMonthName(local.month), local.day,
                  local.year);
    return text;
}

std::string LongDateText() { return LongDateText(acctdb::TZGetLocalTime()); }

std::string ShortTimeText(const platform::SystemTime& local) {
    char text[21] = {};
    const std::tm tm = ToTm(local);
    const std::string format = WithoutSeconds(nl_langinfo(T_FMT));
    if (!format.empty() && std::strftime(text, sizeof text, format.c_str(), &tm) > 0) return text;
    std::snprintf(text, sizeof text, "%02d:%02d", Clamp(local.hour, 0, 99), Clamp(local.minute, 0, 99));
    return text;
}

std::string ShortTimeText() { return ShortTimeText(acctdb::TZGetLocalTime()); }

}  // namespace viewers
