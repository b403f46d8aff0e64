#include "gateway/keywords/processor.h"

#include <vector>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "gateway/clients/access.h"
#include "gateway/inbound.h"
#include "gateway/keywords/actions.h"
#include "gateway/keywords/matching.h"
#include "gateway/logs.h"
#include "gateway/request.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/locked_file.h"
#include "twoway/keyword_store.h"

namespace gateway::keywords {

namespace {

constexpr std::size_t kMaxReceivedBytes = 64 * 1024;
constexpr std::size_t kFilesPerPass = 200;
constexpr auto kScanInterval = std::chrono::seconds(2);

std::string WithExtension(const std::string& path, const char* extension) {
    return path.substr(0, path.rfind('.')) + extension;
}

std::vector<std::string> WaitingFiles(const std::string& smsInDir) {
    std::vector<std::string> files;
    const auto scan = [&](const std::string& dir) {
        platform::WalkDirectoryNames(dir, "*.IN", [&](const platform::DirEntry& e) {
            if (!e.isDirectory && !e.name.empty() && e.name[0] != '.') files.push_back(dir + e.name);
            return files.size() < kFilesPerPass;
        });
    };
    scan(smsInDir);
    std::vector<std::string> folders;
    platform::WalkDirectoryNames(smsInDir, "*", [&](const platform::DirEntry& e) {
        if (e.isDirectory && !e.name.empty() && e.name[0] != '.') folders.push_back(e.name);
        return true;
    });
    for (const std::string& f : folders)
        if (files.size() < kFilesPerPass) scan(smsInDir + f + "/");
    return files;
}

}  // namespace

KeywordProcessor::KeywordProcessor(std::string smsInDir) : smsInDir_(std::move(smsInDir)) {}

KeywordProcessor::~KeywordProcessor() { Stop(); }

void KeywordProcessor::Configure(const GatewaySettings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
    settings_.connections.clear();
    wanted_ = true;
    wake_.notify_one();
}

void KeywordProcessor::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
}

void KeywordProcessor::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
}

void KeywordProcessor::Wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = true;
    wake_.notify_one();
}

void KeywordProcessor::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, kScanInterval, [&] { return stopping_ || wanted_; });
        if (stopping_) break;
        wanted_ = false;
        lock.unlock();
        ProcessWaiting();
        lock.lock();
    }
}

unsigned KeywordProcessor::ProcessWaiting() {
    unsigned handled = 0;
    for (const std::string& path : WaitingFiles(smsInDir_)) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) break;
        }
        if (Process(path)) ++handled;
    }
    return handled;
}

bool KeywordProcessor::Process(const std::string& path) {
    platform::LockedFile file;
    if (file.Claim(path, kMaxReceivedBytes) != platform::LockedFile::ClaimResult::Claimed) return false;
    GatewaySettings settings;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        settings = settings_;
    }
    const platform::IniSnapshot in = platform::IniSnapshot::FromText(file.Text());
    ReceivedMessage m;
    m.sender = in.Get("SMS-IN", "Sender", "", 150);
    m.recipient = in.Get("SMS-IN", "PhoneNumber", "", 150);
    m.connection = in.Get("SMS-IN", "ModemName", "", 250);
    m.time = in.Get("SMS-IN", "ReceivedTime", "", 20);
    const bool binary = config::IsYes(in.Get("SMS-IN", "binary", "", 10));
    m.text = binary ? std::string() : UnescapeLineBreaks(in.Get("SMS-IN", "Data", "", 8192));
    const bool receipt = !in.Get("SMS-IN", "ReceiptMessageId", "", 100).empty();
    const platform::IniSnapshot ini(settings.configPath);
    const std::string user = receipt ? "" : LocalUserFor(settings.configPath, ini, m.connection, m.recipient);
    acctdb::UserRecord account;
    if (!user.empty() && clients::ReadAccount(user, account) && account.AcceptReceived()) {
        if (file.Rewrite(WithLocalUser(file.Text(), account.UserName())) && file.RenameTo(WithExtension(path, ".REC"))) {
            ServiceLogs().Debug("SMSDEBUG.LOG", path + ": for local user " + account.UserName());
            file.Release();
            return true;
        }
        return false;
    }
    if (!user.empty())
        ServiceLogs().Debug("SMSDEBUG.LOG", path + ": routed to " + user + ", who does not accept received messages");
    const std::string key = receipt || binary || !settings.receiveSms
                                ? std::string()
                                : MatchKeyword(twoway::ListKeywords(ini), m.text, m.recipient);
    if (!key.empty()) {
        ActionSettings actions;
        actions.gateway = &settings;
        actions.charset = ini.Get("ZELLA", "ReceiveSMSCharset", "utf-8", 100);
        actions.dataDir = acctdb::GetProgramDataDirectory();
        for (const std::string& line : RunKeywordCommand(twoway::LoadKeywordCommand(key), m, actions))
            ServiceLogs().Debug("SMSDEBUG.LOG", "Keyword " + key + " from " + m.sender + ": " + line);
    }
    return file.RenameTo(WithExtension(path, ".SMS"));
}

}  // namespace gateway::keywords
