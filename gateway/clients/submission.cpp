#include "gateway/clients/submission.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "accounts/quota.h"
#include "config/config_store.h"
#include "config/counters.h"
#include "config/credit.h"
#include "config/sms_request.h"
#include "gateway/clients/access.h"
#include "gateway/logs.h"
#include "gateway/message_parts.h"
#include "gateway/receipts.h"
#include "gateway/spool.h"
#include "gateway/settings.h"
#include "gateway/statistics.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace gateway::clients {

namespace {

constexpr std::size_t kMaxDigits = 20, kMaxSender = 20, kMaxDataBytes = 8191, kMaxUdh = 140;
// Where the owners of requests that want a receipt are kept, beside the SMSC ids.
constexpr const char* kOwnerKey = "(owner)";

// What Submit keeps between calls: the id sequence, the quota and statistics writers
// (one writer per counter file in the process) and the receipt owners.
struct SubmitState {
    std::mutex mutex;
    unsigned sequence = 0;
    std::string lastSecond;
    Statistics counters;
    ReceiptBook owners;
    bool ownersLoaded = false;
    // What staged requests still have to record or give back once their batch commits.
    struct Staged {
        std::string id, user, line;  // line: the SMSWEB line
        std::int64_t charged = 0;
    };
    std::map<const platform::FileBatch*, std::vector<Staged>> staged;
};

SubmitState& State() {
    static SubmitState state;
    return state;
}

SubmitResult Refuse(Refusal refusal, std::string text) {
    SubmitResult r;
    r.refusal = refusal;
    r.text = std::move(text);
    return r;
}

// "+" and digits with blanks, "-", "(" and ")" dropped; "" when anything else is there.
std::string CleanNumber(const std::string& number) {
    std::string out;
    for (char c : number) {
        if (c == ' ' || c == '-' || c == '(' || c == ')' || c == '.') continue;
        if (c == '+' && out.empty()) out += c;
        else if (c >= '0' && c <= '9') out += c;
        else return {};
    }
    const std::size_t digits = out.size() - (!out.empty() && out[0] == '+' ? 1 : 0);
    return digits == 0 || digits > kMaxDigits ? std::string() : out;
}

bool PrintableSender(const std::string& sender) {
    if (sender.size() > kMaxSender) return false;
    for (unsigned char c : sender)
        if (c < 0x20 || c == 0x7F || c == ',') return false;
    return true;
}

// The account's effective limit: only when both gateway defaults exist, the record's own
// value when set, else the default. 0: no limit.
long EffectiveLimit(std::int32_t own, const std::string& defaultText, const std::string& otherDefault) {
    if (defaultText.empty() || otherDefault.empty()) return 0;
    if (own > 0) return own;
    return ParseBounded(defaultText, 0, 0, 2'000'000'000);
}

std::string QuotaRefusal(const acctdb::UserRecord& user) {
    const std::string perDay = config::ReadZellaKey("DefaultMsgLimitPerDay");
    const std::string perMonth = config::ReadZellaKey("DefaultMsgLimitPerMonth");
    const long day = EffectiveLimit(user.DailyLimit(), perDay, perMonth);
    const long month = EffectiveLimit(user.MonthlyLimit(), perMonth, perDay);
    if (day == 0 && month == 0) return {};
    const accounts::UserQuota used = accounts::ReadUserQuota(user.UserName(), LocalNow());
    if (day > 0 && used.today >= static_cast<unsigned long>(day))
        return "Account " + user.UserName() + ":  daily message limit exceeded.";
    if (month > 0 && used.month >= static_cast<unsigned long>(month))
        return "Account " + user.UserName() + ":  monthly message limit exceeded.";
    return {};
}

std::string QueueFolder(const std::string& user) {
    const std::string root = config::QueueDirectory();
    if (!config::IsYes(config::ReadZellaKey("SeparateUserQueues", "Yes"))) return root;
    const std::string folder = root + "USER__" + acctdb::SafeUserDirectoryName(user) + "/";
    platform::CreateDirectories(folder);
    return platform::DirectoryExists(folder) ? folder : root;
}

// A new identifier: `prefix`, the local time to the second and a sequence within it,
// never the name of a request still in `folder`.
std::string NewRequestId(SubmitState& s, const std::string& folder, char prefix = 'C') {
    const std::string now = Now14();
    if (now != s.lastSecond) {
        s.lastSecond = now;
        s.sequence = 0;
    }
    for (;;) {
        char id[40];
        std::snprintf(id, sizeof id, "%c%s%05u", prefix, now.c_str(), s.sequence++);
        if (!platform::FileExists(folder + id + ".REQ")) return id;
    }
}

void CountQuota(SubmitState& s, const std::string& user) {
    const platform::SystemTime now = LocalNow();
    config::CounterFileWriter writer;
    const std::string path = accounts::QuotaFilePath(user, now.year);
    platform::CreateDirectories(accounts::UserFolder(user));
    if (writer.Open(path)) writer.Add(static_cast<std::size_t>(config::CounterDayIndex(now.year, now.month, now.day)), 1);
    s.counters.Count("SMSSUBMIT");
    s.counters.Flush();  // nothing else flushes this process-wide writer
}

SubmitResult Check(const acctdb::UserRecord& user, const ClientMessage& m, config::SmsRequest& request) {
    request.phoneNumber = CleanNumber(m.to);
    if (request.phoneNumber.empty()) return Refuse(Refusal::InvalidRecipient, "Invalid recipient number: " + m.to);
    const std::string forced = user.ForcedSender();
    request.sender = forced.empty() ? m.from : forced;
    if (!PrintableSender(request.sender)) return Refuse(Refusal::InvalidSender, "Invalid sender address");
    if (m.udh.size() > kMaxUdh || (!m.udh.empty() && static_cast<unsigned char>(m.udh[0]) + 1u != m.udh.size()))
        return Refuse(Refusal::Invalid, "Invalid user data header");
    if (m.binary ? m.text.size() * 2 > kMaxDataBytes : config::EscapeLineBreaks(m.text).size() > kMaxDataBytes)
        return Refuse(Refusal::TooLong, "Message too long");
    if (m.dcs > 255 || m.pid > 255) return Refuse(Refusal::Invalid, "Invalid data coding");
    if (!m.route.empty() && !config::IsKnownRoute(m.route)) return Refuse(Refusal::Invalid, "Unknown route: " + m.route);
    if (!AccountAdmitsAddress(user, m.clientAddress))
        return Refuse(Refusal::AddressNotAllowed, "Account " + user.UserName() + ":  address " + m.clientAddress +
                                                      " not allowed.");
    const std::string quota = QuotaRefusal(user);
    if (!quota.empty()) return Refuse(Refusal::Quota, quota);
    request.data = m.text;
    request.binary = m.binary;
    request.udh = m.udh;
    request.dcs = m.dcs;
    request.pid = m.pid;
    request.receiptRequested = m.receipt;
    request.smscRoute = m.route;
    request.submitUser = user.UserName();
    request.submittedBy = m.via + (m.clientAddress.empty() ? "" : " " + m.clientAddress);
    request.validity = m.validity;
    SubmitResult ok;
    ok.parts = CountMessageParts(m.binary ? std::string() : m.text, m.binary ? m.text : std::string(), m.udh, m.binary);
    return ok;
}

SubmitResult SubmitTo(const acctdb::UserRecord& user, const ClientMessage& message, platform::FileBatch* batch);

}  // namespace

SubmitResult Submit(const acctdb::UserRecord& user, const ClientMessage& message) {
    return SubmitTo(user, message, nullptr);
}

SubmitResult Submit(const acctdb::UserRecord& user, const ClientMessage& message, platform::FileBatch& batch) {
    return SubmitTo(user, message, &batch);
}

std::vector<std::string> CommitSubmissions(platform::FileBatch& batch) {
    std::vector<std::string> failed;
    if (batch.Empty()) return failed;
    for (const std::string& path : batch.Commit()) failed.push_back(RequestId(path));
    SubmitState& s = State();
    std::vector<SubmitState::Staged> staged;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        staged.swap(s.staged[&batch]);
        s.staged.erase(&batch);
        // Counted only once in the queue; a request that did not get there is not
        // counted and its credit goes back.
        for (const SubmitState::Staged& x : staged) {
            if (std::find(failed.begin(), failed.end(), x.id) == failed.end()) {
                CountQuota(s, x.user);
                ServiceLogs().Daily("SMSWEB", x.line);
            } else if (x.charged > 0) {
                config::DebitCredit(x.user, nullptr, -x.charged, false);
            }
        }
    }
    config::WakeOutboundQueue("");
    return failed;
}

namespace {

SubmitResult SubmitTo(const acctdb::UserRecord& user, const ClientMessage& message, platform::FileBatch* batch) {
    config::SmsRequest request;
    SubmitResult result = Check(user, message, request);
    if (!result.Accepted()) return result;
    const std::string name = user.UserName();
    const std::int64_t amount = static_cast<std::int64_t>(result.parts) * 1000;
    SubmitState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string creditText;
    // Looked at first, so a refused message leaves the balance as it was.
    if (config::DebitCredit(name, &creditText, amount, true) < 0 ||
        config::DebitCredit(name, &creditText, amount, false) < 0)
        return Refuse(Refusal::NoCredit, creditText);
    const bool charged = config::HasCreditFile(name) && !platform::EqualsNoCase(name, "localsystem");
    // The queue charges requests on sending unless they say they were charged here.
    request.extra.emplace_back("CreditCharged", std::to_string(charged ? amount : 0));
    const std::string folder = QueueFolder(name);
    result.requestId = NewRequestId(s, folder);
    const std::string path = folder + result.requestId + ".REQ", text = config::SmsRequestText(request);
    if (batch ? !batch->Stage(path, text, 0660) : !config::WriteRequestFile(path, text)) {
        if (charged) config::DebitCredit(name, nullptr, -amount, false);
        return Refuse(Refusal::QueueError, "Error creating SMS request file in queue");
    }
    if (message.receipt) {
        if (!s.ownersLoaded) s.owners.Load(acctdb::GetProgramDataDirectory());
        s.ownersLoaded = true;
        s.owners.Record(kOwnerKey, {result.requestId}, name);
    }
    const std::string line = Now14() + "," + Field(result.requestId) + "," + Field(name) + "," +
                             Field(message.clientAddress) + "," + Field(request.phoneNumber);
    if (batch) {
        s.staged[batch].push_back({result.requestId, name, line, charged ? amount : 0});
        return result;
    }
    CountQuota(s, name);
    ServiceLogs().Daily("SMSWEB", line);
    config::WakeOutboundQueue(message.route);
    return result;
}

}  // namespace

std::string QueueServiceRequest(const config::SmsRequest& request, char prefix) {
    SubmitState& s = State();
    std::string id;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const std::string folder = config::QueueDirectory();
        id = NewRequestId(s, folder, prefix);
        if (!config::WriteRequestFile(folder + id + ".REQ", config::SmsRequestText(request))) return {};
    }
    config::WakeOutboundQueue(request.smscRoute);
    return id;
}

std::string RequestOwner(const std::string& requestId) {
    SubmitState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.ownersLoaded) s.owners.Load(acctdb::GetProgramDataDirectory());
    s.ownersLoaded = true;
    return s.owners.Find(kOwnerKey, requestId);
}

}  // namespace gateway::clients
