#include "tools/standin/modem_allocation.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tools/standin/spool_sender.h"
#include "waplnk/modem_handover.h"

namespace standin {

namespace ho = waplnk::handover;

namespace {

// The n of a modem named "COMn..." (any case), else 0.
int PortOf(const std::string& modem) {
    if (modem.size() < 4 || (modem[0] | 0x20) != 'c' || (modem[1] | 0x20) != 'o' || (modem[2] | 0x20) != 'm') {
        return 0;
    }
    return std::atoi(modem.c_str() + 3);
}

bool ProcessGone(long pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

ModemLender::ModemLender()
    : ini_(acctdb::GetProgramDataDirectory() + "ZELLA.INI"), dataDir_(acctdb::GetProgramDataDirectory()) {}

void ModemLender::TakeBack() {
    LogServiceEvent(platform::EventLevel::Info, "Modem " + lentModem_ + " taken back");
    lentId_.clear();
    lentModem_.clear();
}

void ModemLender::Tick() {
    std::string id = platform::GetPrivateProfileString(ini_, ho::kSection, ho::kRequestId, "");
    if (!lentId_.empty() && id != lentId_) TakeBack();
    if (id.empty()) return;
    if (!lentId_.empty()) {
        if (ProcessGone(consolePid_)) {
            platform::WritePrivateProfileString(ini_, ho::kSection, std::nullopt, std::nullopt);
            TakeBack();
        } else if (platform::FileExists(dataDir_ + "STANDIN-MODEM-WANTED") &&
                   platform::GetPrivateProfileString(ini_, ho::kSection, ho::kReturn, "").empty()) {
            platform::WritePrivateProfileString(ini_, ho::kSection, ho::kReturn, "Yes");
        }
        return;
    }
    if (!platform::GetPrivateProfileString(ini_, ho::kSection, ho::kStatus, "").empty()) return;
    std::string modem = platform::GetPrivateProfileString(ini_, ho::kSection, ho::kModem, "");
    platform::IniBatch answer(ini_);
    if (platform::FileExists(dataDir_ + "STANDIN-MODEM-BUSY")) {
        answer.Write(ho::kSection, ho::kStatus, ho::kInUse);
        answer.Commit();
        return;
    }
    answer.Write(ho::kSection, ho::kPort, std::to_string(PortOf(modem)));
    answer.Write(ho::kSection, ho::kStatus, ho::kGranted);
    if (!answer.Commit()) return;
    lentId_ = id;
    lentModem_ = modem;
    consolePid_ = std::atol(platform::GetPrivateProfileString(ini_, ho::kSection, ho::kConsolePid, "").c_str());
    LogServiceEvent(platform::EventLevel::Info, "Modem " + modem + " lent to the console");
}

}  // namespace standin
