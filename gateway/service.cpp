#include "gateway/service.h"

#include <algorithm>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "gateway/clients/submission.h"
#include "gateway/inbound.h"
#include "gateway/links/modem_link.h"
#include "gateway/logs.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/io_wait.h"
#include "platform/service_notify.h"
#include "platform/text.h"
#include "gateway/request.h"

namespace gateway {

namespace {

constexpr std::uint64_t kTickMs = 250;              // the stop byte is looked at this often
constexpr std::uint64_t kScanIntervalMs = 10'000;   // events coalesce or overflow: scan anyway
constexpr std::uint64_t kReloadDebounceMs = 1'000;  // the console writes in bursts
constexpr std::uint64_t kWakeScanGapMs = 100;       // scans on wake-ups at most this often

std::string SectionFingerprint(const std::string& path, const ConnectionSettings& c) {
    std::string text;
    for (const std::string& line : platform::GetPrivateProfileSection(path, c.Section())) text += line + '\n';
    return text;
}

std::string ErrorFilePath(const ConnectionSettings& c) { return acctdb::GetPrivateDataDirectory() + c.FileName() + ".ERR"; }

}  // namespace

Service::Service(platform::SharedMemory& block) : block_(block), retry_(ProcessRetryPolicy()) {}

Service::~Service() { StopLinks(); }

void Service::Post(LinkEvent event) {
    bool first;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        first = events_.empty();
        events_.push_back(std::move(event));
    }
    // The loop drains the wakeup before it takes the events, so one signal per batch will do.
    if (first) linkWake_.Signal();
}

int Service::Run(platform::TerminationSignals& signals, const std::function<void()>& ready) {
    ServiceLogs().Configure(acctdb::GetLogDirectory(), false);
    receipts_.Load(acctdb::GetProgramDataDirectory());
    smsInDir_ = config::InboundSmsDirectory();
    web_ = std::make_unique<web::WebInterface>(block_);
    Reload(true);
    RemoveStaleErrorFiles();
    const std::string dataDir = acctdb::GetProgramDataDirectory();
    clients::RemoveStaleFlagFiles(acctdb::GetPrivateDataDirectory());
    ConfigureClients();
    keywords_ = std::make_unique<keywords::KeywordProcessor>(smsInDir_);
    keywords_->Configure(settings_);
    keywords_->Start();
    platform::CreateDirectories(dataDir + "WAKE/");
    platform::DirectoryWatch wakeWatch(dataDir + "WAKE/");
    platform::DirectoryWatch configWatch(dataDir);
    const std::string configName = settings_.configPath.substr(settings_.configPath.rfind('/') + 1);
    loop_.Watch(signals.Fd(), platform::kReadable, [&](unsigned) {
        if (!signals.Take().empty()) stopping_ = true;
    });
    loop_.Watch(linkWake_.Fd(), platform::kReadable, [&](unsigned) {
        linkWake_.Drain();
        HandleEvents();
    });
    if (wakeWatch.Valid())
        loop_.Watch(wakeWatch.Fd(), platform::kReadable, [&](unsigned) {
            for (const std::string& name : wakeWatch.Take())
                if (name == "*" || platform::EqualsNoCase(name, "SMSOut")) scanWanted_ = true;
        });
    if (configWatch.Valid())
        loop_.Watch(configWatch.Fd(), platform::kReadable, [&](unsigned) {
            for (const std::string& name : configWatch.Take()) {
                if (name == "*" || name == configName) {
                    nextLenderMs_ = 0;  // a modem request is answered at once
                    reloadWanted_ = true;
                    reloadAtMs_ = platform::SteadyMillis() + kReloadDebounceMs;
                }
            }
        });
    ModemLender::Hooks hooks;
    hooks.event = [](const std::string& text) { ServiceLogs().Event(platform::EventLevel::Info, text); };
    // A modem this service drives is closed by its worker before the grant is written.
    hooks.release = [this](const std::string& modem) {
        const auto c = std::find_if(connections_.begin(), connections_.end(), [&](const auto& k) {
            return k && k->link && ModemLoans::Same(k->settings.Name(), modem);
        });
        if (c == connections_.end()) return true;
        loans_.Ask(modem);
        return loans_.Released(modem);
    };
    hooks.reclaim = [this](const std::string& modem) { loans_.GiveBack(modem); };
    lender_ = std::make_unique<ModemLender>(settings_.configPath, std::move(hooks));
    ServiceLogs().Event(platform::EventLevel::Info, "Service started");
    alerts_.Raise(AlertKind::Info, "started", "The QuvSMS Gateway service started.");
    ready();
    while (!stopping_) {
        loop_.RunOnce(static_cast<int>(kTickMs));
        Tick();
    }
    platform::NotifyServiceManager("STOPPING=1");
    web_->Stop();
    smppServer_.reset();  // unbinds the clients and removes their flag files
    keywords_.reset();
    StopLinks();
    HandleEvents();  // the answers of the links' last messages release their requests
    stats_.Flush();
    for (auto& c : connections_) platform::DeleteFileChecked(ErrorFilePath(c->settings));
    ServiceLogs().Event(platform::EventLevel::Info, "Service stopped");
    alerts_.Raise(AlertKind::Info, "stopped", "The QuvSMS Gateway service stopped.");
    alerts_.Stop();
    return 0;
}

void Service::Tick() {
    const std::uint64_t now = platform::SteadyMillis();
    if (block_.Byte(platform::status_block::kStopRequest) != 0) stopping_ = true;
    if (stopping_) return;
    if (reloadWanted_ && now >= reloadAtMs_) {
        reloadWanted_ = false;
        Reload(false);
    }
    if (now >= nextScanMs_) scanWanted_ = true;
    // Clients submitting at full speed wake the queue for every message: one scan of the
    // folders takes in what came during the last moment.
    if (scanWanted_ && now >= lastScanMs_ + kWakeScanGapMs) {
        scanWanted_ = false;
        nextScanMs_ = now + kScanIntervalMs;
        lastScanMs_ = now;
        Scan();
    }
    if (now >= nextRetryCheckMs_) {
        nextRetryCheckMs_ = now + 1000;
        for (auto& [path, entry] : entries_)
            if (!entry.inFlight && !entry.queued && entry.notBeforeMs <= now) Enqueue(entry);
    }
    Dispatch();
    if (now >= nextLenderMs_) {
        lender_->Tick();
        AnswerPairing(settings_.configPath, kNetworkModemNotYet);
        nextLenderMs_ = now + (lender_->Waiting() ? 200 : lender_->Lent().empty() ? 5000 : 1000);
    }
    if (now >= nextQueueSizeMs_) {
        nextQueueSizeMs_ = now + 1000;
        UpdateQueueSize();
        ServiceLogs().Recheck();
    }
    if (now >= nextCounterFlushMs_) {
        nextCounterFlushMs_ = now + kTickMs;
        stats_.Flush();
    }
    if (now >= nextLossReportMs_) ReportLosses(now);
    constexpr std::uint64_t kDownAlertMs = 5 * 60'000;
    for (auto& c : connections_) {
        if (c->up || c->downAlerted || c->downSinceMs == 0 || now < c->downSinceMs + kDownAlertMs) continue;
        c->downAlerted = true;
        alerts_.Raise(AlertKind::Error, "down:" + c->settings.Name(),
                      c->settings.Name() + " has been down for five minutes: " + c->downError);
    }
    if (now >= nextWatchdogMs_) {
        const std::uint64_t interval = platform::ServiceWatchdogMicros() / 1000;
        nextWatchdogMs_ = now + (interval > 0 ? std::max<std::uint64_t>(interval / 3, 100) : 5000);
        if (interval > 0) platform::NotifyServiceManager("WATCHDOG=1");
    }
}

// A full disk is reported as soon as an event can be written, then at most once a minute.
void Service::ReportLosses(std::uint64_t now) {
    std::string reason;
    if (const unsigned failed = stats_.PendingFailures(reason); failed > 0) {
        if (ServiceLogs().Event(platform::EventLevel::Error, std::to_string(failed) +
                                                                 " counter update(s) could not be written to STATS/ (" +
                                                                 reason + ")")) {
            stats_.ClearFailures();
            nextLossReportMs_ = now + 60'000;
        }
    }
    if (ServiceLogs().ReportLosses()) nextLossReportMs_ = now + 60'000;
}

void Service::Reload(bool initial) {
    GatewaySettings next = LoadSettings(config::ConfigurationPath());
    if (!next.reloadTrigger.empty()) {
        // Honoured by reading the configuration just now; the key only says "read it".
        platform::WritePrivateProfileString(next.configPath, config::kZellaSection,
                                            "ConfigurationUpdateTriggerReload", std::nullopt);
    }
    ServiceLogs().Configure(next.logDir, next.debug);
    alerts_.Configure(next);
    ApplyConnections(next);
    std::vector<std::string> routes;
    for (const ConnectionSettings& c : next.connections)
        if (!c.offline) routes.push_back(c.routeName.empty() ? c.Name() : c.routeName);
    web_->Configure(next.configPath, std::move(routes));
    settings_ = std::move(next);
    if (!initial) {
        ConfigureClients();
        if (keywords_) keywords_->Configure(settings_);
        ServiceLogs().Debug("SMSDEBUG.LOG", "Configuration reloaded");
        for (auto& [path, entry] : entries_) entry.known = false;
        for (auto& [path, entry] : entries_)
            if (!entry.inFlight) entry.notBeforeMs = 0;
    }
    scanWanted_ = true;
}

void Service::ApplyConnections(const GatewaySettings& next) {
    std::vector<std::unique_ptr<Connection>> kept;
    for (const ConnectionSettings& s : next.connections) {
        if (FindConnectionIn(kept, s.Name())) continue;  // a duplicate entry of the list
        const std::string fingerprint = SectionFingerprint(next.configPath, s);
        auto old = std::find_if(connections_.begin(), connections_.end(), [&](const auto& c) {
            return c && platform::EqualsNoCase(c->settings.Name(), s.Name());
        });
        if (old != connections_.end() && (*old)->fingerprint == fingerprint) {
            (*old)->settings = s;
            kept.push_back(std::move(*old));
            continue;
        }
        if (old != connections_.end()) {
            (*old)->link.reset();  // stops it; its unsent messages come back as NotSent
            platform::DeleteFileChecked(ErrorFilePath((*old)->settings));
        }
        auto c = std::make_unique<Connection>(s, fingerprint);
        if (!s.offline) c->link = CreateLink(s, *this);
        if (c->link) {
            c->capacity = c->link->Capacity();
            c->link->Start();
            ServiceLogs().Debug("SMSDEBUG.LOG", "Starting connection " + s.Name());
        }
        kept.push_back(std::move(c));
    }
    for (auto& old : connections_) {
        if (!old) continue;
        if (old->link) ServiceLogs().Event(platform::EventLevel::Info, "Connection removed: " + old->settings.Name());
        old->link.reset();
        platform::DeleteFileChecked(ErrorFilePath(old->settings));
    }
    connections_ = std::move(kept);
}

Service::Connection* Service::FindConnectionIn(std::vector<std::unique_ptr<Connection>>& list, const std::string& name) {
    for (auto& c : list)
        if (c && platform::EqualsNoCase(c->settings.Name(), name)) return c.get();
    return nullptr;
}

Service::Connection* Service::FindConnection(const std::string& name) { return FindConnectionIn(connections_, name); }

void Service::StopLinks() {
    for (auto& c : connections_)
        if (c && c->link) c->link->Stop();
}

void Service::HandleEvents() {
    std::vector<LinkEvent> events;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        events.swap(events_);
    }
    for (LinkEvent& e : events) Handle(e);
}

void Service::Handle(LinkEvent& event) {
    Connection* c = FindConnection(event.connection);
    switch (event.kind) {
        case LinkEvent::Kind::Up:
            if (c) LinkUp(*c);
            break;
        case LinkEvent::Kind::Down:
            if (c) LinkDown(*c, event.error);
            break;
        case LinkEvent::Kind::Received:
            if (c) Received(*c, event);
            break;
        case LinkEvent::Kind::Notice:
            ServiceLogs().Event(event.warning ? platform::EventLevel::Warning : platform::EventLevel::Info,
                                event.connection + ": " + OneLineField(event.error, 250));
            break;
        case LinkEvent::Kind::Result: {
            auto it = attempts_.find(event.result.token);
            if (it == attempts_.end()) break;
            if (c && c->inFlight > 0) --c->inFlight;
            Attempt attempt = std::move(it->second);
            attempts_.erase(it);
            Finished(attempt, c, event.result);
            break;
        }
    }
}

void Service::LinkUp(Connection& c) {
    const bool wasDown = !c.up;
    c.up = true;
    c.downError.clear();
    c.downSinceMs = 0;
    c.downAlerted = false;
    platform::DeleteFileChecked(ErrorFilePath(c.settings));
    if (wasDown) {
        ServiceLogs().Event(platform::EventLevel::Info, c.settings.Name() + ": connected");
        // Requests that waited for a connection get their turn now, oldest first.
        std::vector<QueueEntry*> waiting;
        for (auto& [path, entry] : entries_) {
            if (entry.inFlight || !entry.waitsForLink) continue;
            entry.waitsForLink = false;
            entry.notBeforeMs = 0;
            waiting.push_back(&entry);
        }
        std::sort(waiting.begin(), waiting.end(), [](const QueueEntry* a, const QueueEntry* b) {
            return a->modifiedMs != b->modifiedMs ? a->modifiedMs < b->modifiedMs : a->path < b->path;
        });
        for (QueueEntry* e : waiting) Enqueue(*e);
    }
}

void Service::LinkDown(Connection& c, const std::string& error) {
    const std::string text = OneLineField(error.empty() ? "Connection failed" : error, 250);
    if (c.up || c.downError != text) {
        ServiceLogs().Event(platform::EventLevel::Error, c.settings.Name() + ": " + text);
        if (c.up || c.downSinceMs == 0) c.downSinceMs = platform::SteadyMillis();
    }
    c.up = false;
    c.downError = text;
    platform::WriteFileAtomic(ErrorFilePath(c.settings), text, 0660);
}

void Service::Received(Connection& c, const LinkEvent& event) {
    stats_.Count("SMSRECEIVED");
    stats_.CountConnection(c.settings.Name(), true, 1);
    const InboundMessage& m = event.inbound;
    if (smppServer_) smppServer_->Wake();
    if (keywords_) keywords_->Wake();
    ServiceLogs().Daily("SMSIN", Now14() + "," + Field(event.file) + "," + Field(c.settings.Name()) + "," +
                                     Field(m.sender) + "," + Field(m.recipient));
}

void Service::ExpectReceipts(const std::string& connection, const std::vector<std::string>& smscIds,
                             const std::string& requestId) {
    receipts_.Record(config::ConnectionFileName(connection), smscIds, requestId);
}

bool Service::Store(const std::string& connection, const InboundMessage& message) {
    const std::string fileName = config::ConnectionFileName(connection);
    const std::string requestId = message.isReceipt ? receipts_.Find(fileName, message.receiptSmscId) : "";
    std::string text = InboundFileText(message, connection, requestId);
    // A receipt for a message an account submitted waits for that account's clients.
    const std::string owner = requestId.empty() ? "" : clients::RequestOwner(requestId);
    if (!owner.empty()) text = WithLocalUser(text, owner);
    // Other messages wait for routing to a local account and for the keywords; receipts
    // never run keywords.
    const char* extension = !owner.empty() ? ".REC" : message.isReceipt ? ".SMS" : ".IN";
    const std::string file = WriteInboundFile(smsInDir_, fileName, text, extension);
    if (file.empty()) return false;
    LinkEvent e;
    e.kind = LinkEvent::Kind::Received;
    e.connection = connection;
    e.inbound = message;
    e.file = file;
    Post(std::move(e));
    return true;
}

void Service::RemoveStaleErrorFiles() {
    const std::string dir = acctdb::GetPrivateDataDirectory();
    for (const platform::DirEntry& e : platform::ListDirectory(dir, "*.ERR")) {
        if (e.isDirectory || platform::StartsWithNoCase(e.name, "MMSCROUTE--")) continue;
        platform::DeleteFileChecked(dir + e.name);
    }
}

void Service::ConfigureClients() {
    clients::SmppServerSettings wanted = clients::ReadSmppServerSettings(settings_.configPath);
    wanted.dataDir = acctdb::GetPrivateDataDirectory();
    wanted.smsInDir = smsInDir_;
    if (wanted.port == 0 && wanted.tlsPort == 0) {
        smppServer_.reset();
        return;
    }
    if (smppServer_ && smppServer_->Settings() == wanted) return;
    smppServer_.reset();
    smppServer_ = std::make_unique<clients::SmppServer>(block_, wanted);
    smppServer_->Start();
}

}  // namespace gateway
