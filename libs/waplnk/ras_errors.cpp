// How NetworkManager's reasons for a failed activation become dial-up error numbers.
//
//   device reason                                        error
//   MODEM_BUSY                                           676 line busy
//   MODEM_NO_DIAL_TONE                                   680 no dial tone
//   MODEM_NO_CARRIER, MODEM_DIAL_FAILED                  678 no answer
//   MODEM_DIAL_TIMEOUT, GSM_REGISTRATION_TIMEOUT         718 timed out
//   MODEM_INIT_FAILED, MODEM_FAILED                      692 hardware failure
//   MODEM_NOT_FOUND, MODEM_MANAGER_UNAVAILABLE           633 modem busy / not ready
//   GSM_APN_FAILED                                       735 APN refused
//   GSM_REGISTRATION_NOT_SEARCHING / DENIED / FAILED     769 not registered
//   GSM_PIN_CHECK_FAILED, GSM_SIM_*, SIM_PIN_INCORRECT   770 SIM failure
//   NO_SECRETS, PPP_FAILED                               691 authentication
//   IP_CONFIG_UNAVAILABLE / EXPIRED, DHCP_*, PPP_START   720 no IP configuration
//   PPP_DISCONNECT, CARRIER                              629 disconnected
//   active-connection reason (when the device said nothing more)
//   NO_SECRETS, LOGIN_FAILED                             691 authentication
//   CONNECT_TIMEOUT, SERVICE_START_TIMEOUT               718 timed out
//   IP_CONFIG_INVALID                                    720 no IP configuration
//   DEVICE_DISCONNECTED, SERVICE_STOPPED, DEVICE_REMOVED 629 disconnected
//   CONNECTION_REMOVED                                   623 entry not found
//   DEVICE_REALIZE_FAILED                                633 modem busy / not ready
//   USER_DISCONNECTED                                    631 cancelled
//   anything else                                        651 modem error
#include <cstring>

#include "waplnk/ras_errors.h"
#include "waplnk/waplnk.h"

namespace waplnk {

namespace {

int ErrorForDeviceReason(NMDeviceStateReason r) {
    switch (r) {
    case NM_DEVICE_STATE_REASON_MODEM_BUSY: return kRasLineBusy;
    case NM_DEVICE_STATE_REASON_MODEM_NO_DIAL_TONE: return kRasNoDialTone;
    case NM_DEVICE_STATE_REASON_MODEM_NO_CARRIER:
    case NM_DEVICE_STATE_REASON_MODEM_DIAL_FAILED: return kRasNoAnswer;
    case NM_DEVICE_STATE_REASON_MODEM_DIAL_TIMEOUT:
    case NM_DEVICE_STATE_REASON_GSM_REGISTRATION_TIMEOUT: return kRasTimeout;
    case NM_DEVICE_STATE_REASON_MODEM_INIT_FAILED:
    case NM_DEVICE_STATE_REASON_MODEM_FAILED: return kRasHardwareFailure;
    case NM_DEVICE_STATE_REASON_MODEM_NOT_FOUND:
    case NM_DEVICE_STATE_REASON_MODEM_MANAGER_UNAVAILABLE: return kRasModemBusy;
    case NM_DEVICE_STATE_REASON_GSM_APN_FAILED: return kRasApnRefused;
    case NM_DEVICE_STATE_REASON_GSM_REGISTRATION_NOT_SEARCHING:
    case NM_DEVICE_STATE_REASON_GSM_REGISTRATION_DENIED:
    case NM_DEVICE_STATE_REASON_GSM_REGISTRATION_FAILED: return kRasNotRegistered;
    case NM_DEVICE_STATE_REASON_GSM_PIN_CHECK_FAILED:
    case NM_DEVICE_STATE_REASON_GSM_SIM_NOT_INSERTED:
    case NM_DEVICE_STATE_REASON_GSM_SIM_PIN_REQUIRED:
    case NM_DEVICE_STATE_REASON_GSM_SIM_PUK_REQUIRED:
    case NM_DEVICE_STATE_REASON_GSM_SIM_WRONG:
    case NM_DEVICE_STATE_REASON_SIM_PIN_INCORRECT: return kRasSimFailure;
    case NM_DEVICE_STATE_REASON_NO_SECRETS:
    case NM_DEVICE_STATE_REASON_PPP_FAILED: return kRasAuthFailed;
    case NM_DEVICE_STATE_REASON_IP_CONFIG_UNAVAILABLE:
    case NM_DEVICE_STATE_REASON_IP_CONFIG_EXPIRED:
    case NM_DEVICE_STATE_REASON_DHCP_START_FAILED:
    case NM_DEVICE_STATE_REASON_DHCP_ERROR:
    case NM_DEVICE_STATE_REASON_DHCP_FAILED:
    case NM_DEVICE_STATE_REASON_PPP_START_FAILED: return kRasNoIpConfig;
    case NM_DEVICE_STATE_REASON_PPP_DISCONNECT:
    case NM_DEVICE_STATE_REASON_CARRIER: return kRasRemoteDisconnect;
    default: return 0;
    }
}

int ErrorForActiveReason(NMActiveConnectionStateReason r) {
    switch (r) {
    case NM_ACTIVE_CONNECTION_STATE_REASON_NO_SECRETS:
    case NM_ACTIVE_CONNECTION_STATE_REASON_LOGIN_FAILED: return kRasAuthFailed;
    case NM_ACTIVE_CONNECTION_STATE_REASON_CONNECT_TIMEOUT:
    case NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_START_TIMEOUT: return kRasTimeout;
    case NM_ACTIVE_CONNECTION_STATE_REASON_IP_CONFIG_INVALID: return kRasNoIpConfig;
    case NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_DISCONNECTED:
    case NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_STOPPED:
    case NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_REMOVED: return kRasRemoteDisconnect;
    case NM_ACTIVE_CONNECTION_STATE_REASON_CONNECTION_REMOVED: return kRasEntryNotFound;
    case NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_REALIZE_FAILED: return kRasModemBusy;
    case NM_ACTIVE_CONNECTION_STATE_REASON_USER_DISCONNECTED: return kRasCancelled;
    default: return kRasModemError;
    }
}

struct ErrorEntry {
    int code;
    const char* text;
};

constexpr ErrorEntry kTexts[] = {
    {kRasDeviceMissing, "The modem of this connection does not exist."},
    {kRasEntryNotFound, "The network connection could not be found."},
    {kRasRemoteDisconnect, "The connection was closed by the network or the modem."},
    {kRasCancelled, "The connection attempt was cancelled."},
    {kRasModemBusy, "The modem is already in use or is not ready."},
    {kRasModemError, "The modem reported an error."},
    {kRasLineBusy, "The line is busy."},
    {kRasNoAnswer, "The network did not answer."},
    {kRasNoDialTone, "There is no dial tone."},
    {kRasAuthFailed, "Access was denied because the login name or password is not valid."},
    {kRasHardwareFailure, "The modem could not be initialised."},
    {kRasServiceUnavailable, "The network connection service is not available."},
    {kRasTimeout, "The connection was not established in time."},
    {kRasNoIpConfig, "The connection obtained no usable IP configuration."},
    {kRasApnRefused, "The network refused the access point name (APN)."},
    {kRasNotRegistered, "The modem is not registered on the mobile network."},
    {kRasSimFailure, "The SIM card is missing, locked or refused its PIN."},
};

}  // namespace

int ErrorForReasons(NMActiveConnectionStateReason activeReason, NMDeviceStateReason deviceReason) {
    int code = ErrorForDeviceReason(deviceReason);
    return code != 0 ? code : ErrorForActiveReason(activeReason);
}

std::string_view ErrorText(int code) {
    for (const ErrorEntry& e : kTexts) {
        if (e.code == code) return e.text;
    }
    return {};
}

int CopyText(char* buffer, int size, std::string_view text) {
    if (buffer == nullptr || size < 1) return 0;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

std::string ModemOfEntry(std::string_view entry) {
    if (entry.substr(0, kModemPrefix.size()) != kModemPrefix) return {};
    return std::string(entry.substr(kModemPrefix.size()));
}

}  // namespace waplnk

extern "C" WAPLNK_API int WSPRasGetErrorString(int code, char* buffer, int size) {
    std::string_view text = waplnk::ErrorText(code);
    if (text.empty()) return waplnk::CopyText(buffer, size, "Unknown dial-up error " + std::to_string(code) + ".");
    return waplnk::CopyText(buffer, size, text);
}
