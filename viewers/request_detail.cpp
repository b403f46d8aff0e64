#include "viewers/request_detail.h"


#include "modem/engine/port.h"
#include "platform/files.h"

namespace viewers {

namespace {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Keys are ASCII; folding only ASCII letters keeps a key's match independent of the
// locale (a Turkish locale would not fold "I" to "i").
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
    }
    return true;
}

// Calls `visit` for every line: leading bytes up to and including blank are skipped
// (so empty lines vanish) and a line ends at the first CR or LF. Stops when `visit`
// returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32) ++pos;
        if (pos >= text.size()) return;
        // A plain loop: find_first_of with a set calls memchr once per byte.
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        if (!visit(text.substr(pos, end - pos))) return;
        pos = end;
    }
}

std::string Cut(std::string_view value, std::size_t width) {
    return std::string(value.substr(0, width));
}

std::uint8_t HexByte(std::string_view value) {
    unsigned v = 0;
    for (char c : value) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        v = ((v << 4) | static_cast<unsigned>(digit)) & 0xFFu;
    }
    return static_cast<std::uint8_t>(v);
}

std::int32_t DecimalValue(std::string_view value) {
    std::int64_t v = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        // Wraps like a 32-bit counter instead of overflowing on a hostile value.
        v = (v * 10 + (c - '0')) & 0xFFFFFFFF;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

platform::SystemTime TimeValue(std::string_view value) {
    if (value.size() < 14) return RequestDetail::DefaultTime();
    for (std::size_t i = 0; i < 14; ++i)
        if (value[i] < '0' || value[i] > '9') return RequestDetail::DefaultTime();
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (value[i] - '0');
        return v;
    };
    platform::SystemTime t;
    t.year = num(0, 4);
    t.month = num(4, 2);
    t.day = num(6, 2);
    t.hour = num(8, 2);
    t.minute = num(10, 2);
    t.second = num(12, 2);
    return t;
}

struct TextKey {
    std::string_view key;
    std::string RequestDetail::*field;
    std::size_t width;
};

constexpr TextKey kTextKeys[] = {
    {"PhoneNumber=", &RequestDetail::phoneNumber, 149},
    {"Sender=", &RequestDetail::sender, 149},
    {"Data=", &RequestDetail::data, 8191},
    {"udh=", &RequestDetail::udh, 499},
    {"SubmittedBy=", &RequestDetail::submittedBy, 499},
    {"SubmitUser=", &RequestDetail::submitUser, 249},
    {"ServiceType=", &RequestDetail::serviceType, 99},
    {"RouteToLocalUser=", &RequestDetail::routeToLocalUser, 99},
    {"SMPPOptions=", &RequestDetail::smppOptions, 499},
    {"SMSCRoute=", &RequestDetail::smscRoute, 99},
    {"Validity=", &RequestDetail::validity, 49},
    {"BillingInfo=", &RequestDetail::billingInfo, 49},
    {"ModemName=", &RequestDetail::modemName, 149},
    {"ReceiptMessageId=", &RequestDetail::receiptMessageId, 149},
};

struct FlagKey {
    std::string_view key;
    std::uint32_t bits;
};

constexpr FlagKey kFlagKeys[] = {
    {"ReplyRequested=", kReplyRequested},     {"ReceiptRequested=", kReceiptRequested},
    {"ReceiptDelivered=", kReceiptDelivered}, {"ReceiptIntransit=", kReceiptIntransit},
    {"ReceiptFailed=", kReceiptFailed},       {"NonDelReceiptRequested=", kNonDelReceiptRequested},
};

bool IsYesValue(std::string_view v) {
    if (!v.empty() && (v[0] == 'Y' || v[0] == 'y' || v[0] == '1')) return true;
    return v.size() == 4 && StartsWithIgnoreCase(v, "TRUE");
}

void TakeMessageLine(RequestDetail& d, std::string_view line) {
    for (const TextKey& k : kTextKeys) {
        if (!StartsWithIgnoreCase(line, k.key)) continue;
        d.*k.field = Cut(line.substr(k.key.size()), k.width);
        if (k.field == &RequestDetail::data) modem::UnescapeCrLf(d.data);
        return;
    }
    for (const FlagKey& k : kFlagKeys) {
        if (!StartsWithIgnoreCase(line, k.key)) continue;
        if (IsYesValue(line.substr(k.key.size()))) d.flags |= k.bits;
        return;
    }
    if (StartsWithIgnoreCase(line, "pid=")) d.pid = HexByte(line.substr(4));
    else if (StartsWithIgnoreCase(line, "dcs=")) d.dcs = HexByte(line.substr(4));
    else if (StartsWithIgnoreCase(line, "binary=")) d.binary = IsYesValue(line.substr(7));
}

void TakeErrorLine(RequestDetail& d, std::string_view line) {
    if (StartsWithIgnoreCase(line, "RetryCount=")) {
        d.retryCountText = Cut(line.substr(11), 49);
        d.retryCount = DecimalValue(line.substr(11));
    } else if (StartsWithIgnoreCase(line, "LastRetryTime=")) {
        d.lastRetryTime = TimeValue(line.substr(14));
    } else if (StartsWithIgnoreCase(line, "FirstAttemptTime=")) {
        d.firstAttemptTime = TimeValue(line.substr(17));
    } else if (StartsWithIgnoreCase(line, "LastErrorInfo=")) {
        d.lastErrorInfo = Cut(line.substr(14), 199);
    }
}

}  // namespace

platform::SystemTime RequestDetail::DefaultTime() {
    platform::SystemTime t;
    t.year = 2000;
    t.month = 1;
    t.day = 1;
    return t;
}

RequestDetail ParseRequestDetail(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    RequestDetail d;
    // One pass: the first message section and the first error section, each up to the
    // next line that begins with "[", in whichever order they come.
    enum class In { None, Message, Error } in = In::None;
    bool messageSeen = false, errorSeen = false;
    ForEachLine(text, [&](std::string_view line) {
        if (line.front() == '[') {
            in = In::None;
            if (!messageSeen && (StartsWithIgnoreCase(line, "[SMS]") || StartsWithIgnoreCase(line, "[SMS-IN]"))) {
                in = In::Message;
                messageSeen = true;
            } else if (!errorSeen && StartsWithIgnoreCase(line, "[ErrorDetail]")) {
                in = In::Error;
                errorSeen = true;
            }
        } else if (in == In::Message) {
            TakeMessageLine(d, line);
        } else if (in == In::Error) {
            TakeErrorLine(d, line);
        }
        return true;
    });
    return d;
}

RequestDetail ReadRequestDetail(const std::string& path) {
    std::string text;
    if (!platform::ReadFileHead(path, kMaxRequestBytes, text)) return {};
    return ParseRequestDetail(text);
}

RequestDetail ReadRequestDetailAt(int dirFd, const char* name, std::string& buffer, bool& opened,
                                  std::int64_t& modifiedUnixMillis) {
    opened = platform::ReadFileHeadAt(dirFd, name, kMaxRequestBytes, buffer, &modifiedUnixMillis);
    if (!opened) return {};
    return ParseRequestDetail(buffer);
}

std::string FindSectionValue(std::string_view text, std::string_view header, std::string_view key) {
    text = text.substr(0, text.find('\0'));
    std::string value;
    bool inside = false, seen = false, done = false;
    ForEachLine(text, [&](std::string_view line) {
        if (line.front() == '[') {
            if (inside) return false;
            inside = !seen && StartsWithIgnoreCase(line, header);
            seen = seen || inside;
        } else if (inside && StartsWithIgnoreCase(line, key)) {
            value = Cut(line.substr(key.size()), 499);
            done = true;
        }
        return !done;
    });
    return value;
}

}  // namespace viewers
