// The SMPP server's dealings with the accounts: binds, wrong-password limits, the flag
// files of the console's monitor, submissions and the periodic check that drops
// sessions of accounts suspended or changed meanwhile.
#include <cstdio>

#include "config/config_store.h"
#include "gateway/clients/smpp_server_impl.h"
#include "gateway/logs.h"
#include "gateway/request.h"
#include "gateway/settings.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/io_wait.h"
#include "platform/text.h"
#include "smpplnk/smpp_server_pdu.h"

namespace gateway::clients {

namespace {

// Wrong passwords from one address: this many within the window, then every bind from
// there is refused until the window has passed.
constexpr unsigned kMaxFailures = 5;
constexpr std::uint64_t kFailureWindowMs = 10 * 60'000;
constexpr std::size_t kMaxTrackedAddresses = 10'000;

std::string FlagDirectory(const std::string& dataDir) { return dataDir + "SMPPData/ActiveUsers/"; }

// One part of a flag file name: no "-" (it separates the parts), no separators.
std::string FlagPart(std::string text, bool user) {
    for (char& c : text) {
        if (c == ':') c = '.';
        else if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || (!user && c == '-')) c = '_';
    }
    return text.empty() ? "_" : text;
}

// The account's "N/S" receive speed limit (messages per seconds); {0, 0} when none.
std::pair<unsigned, unsigned> SpeedLimit(const acctdb::UserRecord& user) {
    const SendLimit limit = ParseSendLimit(user.ReceiveSpeedLimit());
    return {limit.count, limit.seconds};
}

}  // namespace

void RemoveStaleFlagFiles(const std::string& dataDir) {
    const std::string dir = FlagDirectory(dataDir);
    for (const platform::DirEntry& e : platform::ListDirectory(dir, "*.FLG"))
        if (!e.isDirectory) platform::DeleteFileChecked(dir + e.name);
}

bool SmppServer::Impl::TooManyFailures(const std::string& peer) {
    auto it = failures_.find(peer);
    if (it == failures_.end()) return false;
    if (platform::SteadyMillis() - it->second.sinceMs > kFailureWindowMs) {
        failures_.erase(it);
        return false;
    }
    return it->second.count >= kMaxFailures;
}

void SmppServer::Impl::Failed(const std::string& peer, const std::string& user, const std::string& why) {
    const std::uint64_t now = platform::SteadyMillis();
    if (failures_.size() >= kMaxTrackedAddresses) {
        for (auto it = failures_.begin(); it != failures_.end();)
            it = now - it->second.sinceMs > kFailureWindowMs ? failures_.erase(it) : std::next(it);
        if (failures_.size() >= kMaxTrackedAddresses) failures_.clear();
    }
    Failures& f = failures_[peer];
    if (f.count == 0 || now - f.sinceMs > kFailureWindowMs) f = Failures{0, now};
    ++f.count;
    ServiceLogs().Event(platform::EventLevel::Warning,
                        "SMPP bind refused for \"" + OneLineField(user, 60) + "\" from " + peer + ": " + why);
}

std::uint32_t SmppServer::Impl::CheckBind(SmppSession& session, const smpplnk::BindRequest& bind,
                                          acctdb::UserRecord& user, ClientCoding& charset, unsigned& window) {
    const std::string& peer = session.Peer();
    if (TooManyFailures(peer)) {
        Failed(peer, bind.systemId, "too many failed binds from this address");
        return smpplnk::kStatusBindFailed;
    }
    switch (CheckLogin(bind.systemId, bind.password, LoginService::Smpp, peer, user)) {
        case LoginResult::Ok: break;
        case LoginResult::UnknownUser:
            Failed(peer, bind.systemId, "unknown account");
            return smpplnk::kStatusInvalidSystemId;
        case LoginResult::WrongPassword:
            Failed(peer, bind.systemId, "wrong password");
            return smpplnk::kStatusInvalidPassword;
        case LoginResult::NotAllowed:
            Failed(peer, bind.systemId, "SMPP login not enabled for the account");
            return smpplnk::kStatusBindFailed;
        case LoginResult::AddressNotAllowed:
            Failed(peer, bind.systemId, "address not allowed for the account");
            return smpplnk::kStatusBindFailed;
        case LoginResult::StoreError:
            ServiceLogs().Event(platform::EventLevel::Error, "SMPP bind: the account store cannot be opened");
            return smpplnk::kStatusSystemError;
    }
    unsigned sessions = 0;
    for (const auto& [id, c] : clients_)
        if (c->session.Bound() && platform::EqualsNoCase(c->session.UserName(), user.UserName())) ++sessions;
    if (sessions >= settings_.maxConnectionsPerUser) {
        ServiceLogs().Event(platform::EventLevel::Warning, "SMPP bind refused for " + user.UserName() + " from " + peer +
                                                               ": already " + std::to_string(sessions) + " connections");
        return smpplnk::kStatusBindFailed;
    }
    failures_.erase(peer);
    charset = ReadClientCoding(settings_.iniPath, user.UserName());
    const std::string own = platform::GetPrivateProfileString(settings_.iniPath, "SMPPServerAsyncWindowSize",
                                                              user.UserName(), "");
    window = static_cast<unsigned>(ParseBounded(own, settings_.defaultWindow, 0, 1000));
    ServiceLogs().Debug("SMPPDEBUG.LOG", "Session " + std::to_string(session.Id()) + ": " + user.UserName() +
                                             " bound from " + peer);
    return smpplnk::kStatusOk;
}

bool SmppServer::Impl::WithinSpeed(const acctdb::UserRecord& user) {
    const auto [count, seconds] = SpeedLimit(user);
    if (count == 0 || seconds == 0) return true;
    const std::uint64_t now = platform::SteadyMillis();
    Bucket& b = speed_[platform::ToLowerAscii(user.UserName())];
    if (b.atMs == 0) b.tokens = count;
    else b.tokens = std::min<double>(count, b.tokens + (now - b.atMs) * count / (seconds * 1000.0));
    b.atMs = now;
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

SubmitResult SmppServer::Impl::SubmitMessage(SmppSession& session, const ClientMessage& message) {
    if (!WithinSpeed(session.User())) {
        SubmitResult r;
        r.refusal = Refusal::Quota;
        r.text = "Account " + session.UserName() + ":  sending too fast.";
        return r;
    }
    SubmitResult r = Submit(session.User(), message, batch_);
    ServiceLogs().Debug("SMPPDEBUG.LOG", "Session " + std::to_string(session.Id()) + ": message to " + message.to +
                                             (r.Accepted() ? " accepted as " + r.requestId : " refused: " + r.text));
    return r;
}

void SmppServer::Impl::WriteFlag(Client& c) {
    const std::string dir = FlagDirectory(settings_.dataDir);
    platform::CreateDirectories(dir);
    const std::string path = dir + FlagPart(c.session.Peer(), false) + "-" + std::to_string(c.session.Id()) + "-" +
                             static_cast<char>(c.session.Kind()) + "-" + FlagPart(c.session.UserName(), true) + ".FLG";
    if (!platform::CreateFileIfMissing(path, 0660) ||
        c.flag.Claim(path, 0) != platform::LockedFile::ClaimResult::Claimed)
        ServiceLogs().Debug("SMPPDEBUG.LOG", "Flag file " + path + " could not be made");
}

void SmppServer::Impl::CheckAccounts() {
    std::map<std::string, bool> keep;  // lower-case user -> may stay bound
    std::vector<std::uint64_t> ended;
    for (auto& [id, client] : clients_) {
        SmppSession& s = client->session;
        if (!s.Bound() || s.Closing()) continue;
        const std::string key = platform::ToLowerAscii(s.UserName());
        auto it = keep.find(key);
        if (it == keep.end()) {
            acctdb::UserRecord now;
            bool storeError = false;
            const bool found = ReadAccount(s.UserName(), now, &storeError);
            // A store that cannot be read now says nothing about the account.
            const bool ok = storeError || (found && now.SmppLogin() && now.Password() == s.User().Password());
            it = keep.emplace(key, ok).first;
        }
        if (it->second) continue;
        ServiceLogs().Event(platform::EventLevel::Info, "SMPP session of " + s.UserName() + " from " + s.Peer() +
                                                            " ended: the account no longer allows SMPP login");
        s.Unbind();
        ended.push_back(id);
    }
    for (std::uint64_t id : ended) Settle(id);
}

}  // namespace gateway::clients
