#include "gateway/links/modem_link.h"

#include <algorithm>
#include <atomic>

#include "gateway/logs.h"
#include "gateway/modem_lending.h"
#include "gateway/request.h"
#include "modem/engine/comm_ports.h"
#include "modem/engine/ip_modem.h"
#include "modem/engine/modem_registry.h"
#include "platform/io_wait.h"
#include "platform/process.h"
#include "platform/text.h"

namespace gateway {

namespace {

constexpr std::uint64_t kRebootAfterMs = 10 * 60'000;
constexpr std::uint64_t kRebootEveryMs = 60 * 60'000;
constexpr unsigned kDefaultSpeed = 115200;

// One reboot an hour for the whole service, whichever modem asks.
std::atomic<std::uint64_t> g_lastRebootMs{0};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

ModemTimings ProcessModemTimings() {
    ModemTimings t;
    if (const std::string seconds = platform::EnvironmentValue("ZELLA_MODEM_ANSWER_SECONDS"); !seconds.empty()) {
        t.answerMs = static_cast<std::uint64_t>(ParseBounded(seconds, 10, 1, 120)) * 1000;
        t.sendMs = t.answerMs * 6;
        t.sweepMs = std::min<std::uint64_t>(t.sweepMs, t.answerMs * 6);
    }
    return t;
}

ModemLink::ModemLink(const ConnectionSettings& settings, LinkEvents& events)
    : ThreadedLink(settings, events), events_(events), timings_(ProcessModemTimings()) {}

bool ModemLink::Lent() {
    ModemLoans* loans = events_.Loans();
    return loans != nullptr && loans->Asked(Name());
}

// The device is closed for the console's use and taken again when it is given back.
void ModemLink::WaitWhileLent() {
    ModemLoans* loans = events_.Loans();
    at_.reset();
    port_.Close();
    PostDown("Modem lent to the console");
    loans->SetReleased(Name(), true);
    while (Lent() && Pause(250)) {
    }
    loans->SetReleased(Name(), false);
}

std::string ModemLink::Open() {
    at_.reset();
    port_.Close();
    const std::string& name = Name();
    if (modem::IsIpModemName(name)) {
        std::string failure;
        port_ =
            modem::ConnectIpModem(name, [&failure](const std::string& text) { failure = text; });
        return port_.IsOpen()    ? std::string()
               : failure.empty() ? "IP Modem connection failed"
                                 : failure;
    }
    std::string error;
    if (!modem::ResolveCommPort(name).empty()) {
        bool notALine = false;
        port_ = modem::OpenCommDevice(name, error, notALine);
        if (notALine) return "Unable to access modem at " + name + " -- not a serial line";
        if (port_.IsOpen() && !modem::SetLineSettings(port_, kDefaultSpeed))
            return "Unable to set the line speed of " + name;
    } else {
        std::string comPort;
        port_ = modem::OpenRegisteredDevice(name, comPort, error);
        if (!port_.IsOpen() && error.empty())
            error = "Modem " + name + " is not in the modem list (MODEMS.INI)";
    }
    return port_.IsOpen() ? std::string() : OneLineField(error, 250);
}

std::string ModemLink::Initialise() {
    at_ = std::make_unique<modem::AtChannel>(port_);
    const std::uint64_t wait = timings_.answerMs;
    modem::AtAnswer a = at_->Command("AT", wait);
    if (!a.Ok()) a = at_->Command("AT", wait);  // a first command may only wake it
    if (!a.Ok()) return "Modem not answering";
    at_->Command("ATE0", wait);
    at_->Command("AT+CMEE=1", wait);
    a = at_->Command("AT+CPIN?", wait);
    const bool needsPin =
        !a.lines.empty() && platform::FindNoCase(a.lines.front(), "SIM PIN") != std::string::npos;
    if (needsPin) {
        const std::string pin = Settings().Key("PIN");
        if (pin.empty()) return "The SIM card needs a PIN (PIN= of the connection)";
        // A refused PIN is not entered again until the connection is edited (which starts
        // a new link): the card locks itself after three wrong ones.
        constexpr const char* kRefused = "The SIM card refused the PIN";
        if (pinRefused_) return kRefused;
        if (!at_->Command("AT+CPIN=" + Quoted(pin), wait).Ok()) {
            pinRefused_ = true;
            return kRefused;
        }
    }
    const std::string access = Settings().Key("SMSAccess");
    if (platform::EqualsNoCase(access, "GPRS"))
        at_->Command("AT+CGSMS=2", wait);
    else if (platform::EqualsNoCase(access, "GSM"))
        at_->Command("AT+CGSMS=3", wait);
    a = at_->Command("AT+CMGF=0", wait);
    textMode_ = !a.Ok();
    if (textMode_) {
        if (!at_->Command("AT+CMGF=1", wait).Ok()) return "Modem refuses both PDU and text mode";
        ServiceLogs().Event(
            platform::EventLevel::Warning,
            Name() + ": the modem refuses PDU mode; only short plain text is sent through it");
    }
    const std::string receiveTo = Settings().Key("ReceiveTo");
    const bool direct = platform::EqualsNoCase(receiveTo, "Direct");
    const std::string memory = platform::EqualsNoCase(receiveTo, "ME") ? "\"ME\"" : "\"SM\"";
    at_->Command("AT+CPMS=" + memory + "," + memory + "," + memory, wait);
    acknowledge_ =
        direct && Settings().Yes("AllowPhase2Plus") && at_->Command("AT+CSMS=1", wait).Ok();
    receive_ = Settings().Yes("ReceiveSMS", true);
    // New messages announced (+CMTI) or handed over (+CMT); status reports always, by
    // their storage index unless delivered directly.
    // A modem in text mode would hand over text, not PDUs: its messages stay in storage.
    const std::string mt = !receive_ || textMode_ ? "0" : direct ? "2" : "1";
    at_->Command("AT+CNMI=2," + mt + ",0," + (textMode_ ? "0" : direct ? "1" : "2") + ",0", wait);
    nextSweepMs_ = 0;
    return {};
}

// One step of the ladder after `error`: re-initialise on the open port first, then
// reopen the port, and with RebootOnModemError restart the machine after ten minutes.
void ModemLink::Recover(const std::string& error, unsigned& failures,
                        std::uint64_t& failingSinceMs) {
    const std::uint64_t now = platform::SteadyMillis();
    if (failingSinceMs == 0) failingSinceMs = now;
    ++failures;
    std::string step = failures == 1 && port_.IsOpen() ? "re-initialising" : "reopening the port";
    if (Settings().Yes("RebootOnModemError") && now - failingSinceMs >= kRebootAfterMs) {
        const std::uint64_t last = g_lastRebootMs.load();
        if (last == 0 || now - last >= kRebootEveryMs) {
            g_lastRebootMs = now;
            step = "restarting the computer (RebootOnModemError)";
            ServiceLogs().Event(
                platform::EventLevel::Error,
                Name() + ": " + error + " for ten minutes; restarting the computer");
            platform::StartDetached({"systemctl", "reboot"}, false, "");
        }
    }
    PostDown(error + " - " + step);
    if (step != "re-initialising") {
        at_.reset();
        port_.Close();
    }
    const std::uint64_t backoff =
        std::min<std::uint64_t>(1000ull << std::min(failures - 1, 5u), 5 * timings_.answerMs);
    // In short steps, so a request to lend the modem is seen within the console's wait.
    for (std::uint64_t waited = 0; failures > 1 && waited < backoff && !Lent(); waited += 250)
        if (!Pause(std::min<std::uint64_t>(250, backoff - waited))) break;
}

void ModemLink::Run() {
    unsigned failures = 0;
    std::uint64_t failingSinceMs = 0;
    while (!Stopping()) {
        if (Lent()) {
            WaitWhileLent();
            continue;
        }
        if (!port_.IsOpen()) {
            if (std::string e = Open(); !e.empty()) {
                Recover(e, failures, failingSinceMs);
                continue;
            }
        }
        if (std::string e = Initialise(); !e.empty()) {
            Recover(e, failures, failingSinceMs);
            continue;
        }
        failures = 0;
        failingSinceMs = 0;
        PostUp();
        if (std::string e = Session(); !e.empty()) Recover(e, failures, failingSinceMs);
    }
    at_.reset();
    port_.Close();
}

void NetworkModemLink::Run() {
    ServiceLogs().Event(platform::EventLevel::Warning, Name() + ": " + kNetworkModemNotYet);
    PostDown(kNetworkModemNotYet);
    while (Pause(60'000)) {
    }
}

}  // namespace gateway
