#include "gateway/modem_lending.h"

#include <cstdlib>

#include "platform/files.h"
#include "platform/ini.h"
#include "waplnk/modem_handover.h"

namespace gateway {

namespace ho = waplnk::handover;

namespace {

bool ProcessGone(long pid) { return pid > 0 && !platform::PathExists("/proc/" + std::to_string(pid)); }

}  // namespace

bool AnswerPairing(const std::string& iniPath, const std::string& status) {
    constexpr const char* kSection = "QuvSMSModemTest";
    const std::string modem = platform::GetPrivateProfileString(iniPath, kSection, "ModemName", "");
    if (modem.empty() || !platform::GetPrivateProfileString(iniPath, kSection, "Status", "").empty()) return false;
    platform::IniBatch answer(iniPath);
    answer.Require(kSection, "ModemName", modem);
    answer.Require(kSection, "Status", "");
    answer.Write(kSection, "Status", status);
    return answer.Commit();
}

int ComPortNumber(const std::string& modem) {
    if (modem.size() < 4 || (modem[0] | 0x20) != 'c' || (modem[1] | 0x20) != 'o' || (modem[2] | 0x20) != 'm') return 0;
    return std::atoi(modem.c_str() + 3);
}

ModemLender::ModemLender(std::string iniPath, Hooks hooks) : ini_(std::move(iniPath)), hooks_(std::move(hooks)) {}

std::string ModemLoans::Key(const std::string& modem) {
    std::string key;
    for (char c : modem) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    while (!key.empty() && (key.back() == ':' || key.back() == ' ')) key.pop_back();
    return key;
}

void ModemLoans::Ask(const std::string& modem) {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.insert(Key(modem));
}

void ModemLoans::GiveBack(const std::string& modem) {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.erase(Key(modem));
}

bool ModemLoans::Asked(const std::string& modem) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_.count(Key(modem)) > 0;
}

void ModemLoans::SetReleased(const std::string& modem, bool released) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (released) released_.insert(Key(modem));
    else released_.erase(Key(modem));
}

bool ModemLoans::Released(const std::string& modem) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return released_.count(Key(modem)) > 0;
}

void ModemLender::TakeBack() {
    if (hooks_.reclaim) hooks_.reclaim(lentModem_);
    if (hooks_.event) hooks_.event("Modem " + lentModem_ + " taken back");
    lentId_.clear();
    lentModem_.clear();
}

void ModemLender::Tick() {
    waiting_ = false;
    const std::string id = platform::GetPrivateProfileString(ini_, ho::kSection, ho::kRequestId, "");
    if (!lentId_.empty() && id != lentId_) TakeBack();
    if (id.empty()) return;
    if (!lentId_.empty()) {
        if (ProcessGone(consolePid_)) {
            platform::IniBatch remove(ini_);
            remove.Require(ho::kSection, ho::kRequestId, lentId_);
            remove.DeleteSection(ho::kSection);
            remove.Commit();
            TakeBack();
        } else if (hooks_.wanted && hooks_.wanted(lentModem_) &&
                   platform::GetPrivateProfileString(ini_, ho::kSection, ho::kReturn, "").empty()) {
            platform::IniBatch ask(ini_);
            ask.Require(ho::kSection, ho::kRequestId, lentId_);
            ask.Write(ho::kSection, ho::kReturn, "Yes");
            ask.Commit();
        }
        return;
    }
    if (!platform::GetPrivateProfileString(ini_, ho::kSection, ho::kStatus, "").empty()) return;
    const std::string modem = platform::GetPrivateProfileString(ini_, ho::kSection, ho::kModem, "");
    const std::string pid = platform::GetPrivateProfileString(ini_, ho::kSection, ho::kConsolePid, "");
    platform::IniBatch answer(ini_);
    answer.Require(ho::kSection, ho::kRequestId, id);
    answer.Require(ho::kSection, ho::kStatus, "");
    answer.Require(ho::kSection, ho::kModem, modem);
    if (hooks_.busy && hooks_.busy(modem)) {
        answer.Write(ho::kSection, ho::kStatus, ho::kInUse);
        answer.Commit();
        return;
    }
    // The device is closed before the grant is written: the console opens it right after.
    if (hooks_.release && !hooks_.release(modem)) {
        waiting_ = true;
        return;
    }
    answer.Write(ho::kSection, ho::kPort, std::to_string(ComPortNumber(modem)));
    answer.Write(ho::kSection, ho::kStatus, ho::kGranted);
    if (!answer.Commit()) {
        if (hooks_.reclaim) hooks_.reclaim(modem);  // the request changed meanwhile
        return;
    }
    lentId_ = id;
    lentModem_ = modem;
    consolePid_ = std::atol(pid.c_str());
    if (hooks_.event) hooks_.event("Modem " + modem + " lent to the console");
}

}  // namespace gateway
