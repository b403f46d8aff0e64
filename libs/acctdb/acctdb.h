// The account-store library: directories, INI access for ZELLA.INI and MMSC.INI,
// gateway time-zone time, sockets, the user store, GSM 7-bit decoding, the service
// wake-up and network-modem discovery. Linked by the console and by the services.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace acctdb {

// ---- directories (each ends in "/") -------------------------------------------------
// Program data directory: $ZELLA_DATA_DIR when set; /var/lib/quvsms/ for an installed
// console (its program directory is not a build tree); else $XDG_DATA_HOME/quvsms/
// (~/.local/share/quvsms/). With SetMultiHost(NAME) the instance directory
// "instances/NAME/" below it. Created when missing.
std::string GetProgramDataDirectory();
// The folder below the default instance's data directory that holds every -multihost
// instance ("instances/"), whichever instance is selected. Not created here.
std::string GetInstancesDirectory();
// Private data directory (error, counter and STATS files): the program data directory.
std::string GetPrivateDataDirectory();
// The directory of the running executable (services, helpers, manual, exit file).
std::string GetRealProgramDirectory();
// Daily logs of the services: "LOGS/" below the program data directory.
std::string GetLogDirectory();
// Debug logs of the Gateway service and the WAP component, and of the MMSC service:
// both the log directory on this platform.
std::string GetDebugLogDirectory();
std::string GetMMSCDebugLogDirectory();

// Selects the instance whose directories later calls report. The name is mended so it
// can only ever name one directory level (separators, "..", and control characters
// are replaced by "_"); an empty name selects the default instance. Instances live in
// their own folder, so no name ("Q", "LOGS", "USERS", ...) can land inside the default
// instance's spool or logs.
void SetMultiHost(const std::string& instance);
const std::string& MultiHost();

// Gives the gateway's group (the "quvsms" group; nothing happens when the machine has
// no such group) read/write access to what this process's user owns in the directory
// and below it: directories get group search and the set-group-ID bit so files created
// later belong to that group; private files stay private; links are never followed,
// other users' entries and the supervisor's "SERVICES" folder are left alone. No result.
void SetQuvSMSTrustees(const std::string& directoryWithoutSlash);

// ---- INI access ------------------------------------------------------------------------
// Name the files that later reads use (an empty name: none, reads give the default).
// The ZELLA.INI name is the process's one configuration path: the configuration store
// (config::ConfigurationPath) reads it from here. Safe to call from any thread.
void SMSIniSetFilename(const std::string& path);
void MMSCIniSetFilename(const std::string& path);
// The names as last set (empty when none); copies, safe to take from any thread.
std::string SMSIniFilename();
std::string MMSCIniFilename();
// Like GetPrivateProfileString on the file set above (the value cut to size-1). With
// no file set, or any argument null (the call the SMPP test makes before binding),
// gives the default and does nothing else.
std::string SMSIniGetProfileString(const char* section, const char* key, const char* def,
                                   std::size_t size);
std::string MMSCIniGetProfileString(const char* section, const char* key, const char* def,
                                    std::size_t size);

// ---- time ---------------------------------------------------------------------------------
// Now in the gateway's time zone (TZ, else the system zone), through platform::Clock().
platform::SystemTime TZGetLocalTime();
// A UTC FILETIME (100 ns since 1601-01-01) as local calendar time.
platform::SystemTime TZFileTimeToLocalSystemTime(std::uint64_t fileTimeUtc);
// A UTC calendar time as local calendar time.
platform::SystemTime TZSystemTimeToLocalSystemTime(const platform::SystemTime& utc);

// ---- sockets --------------------------------------------------------------------------------
// A TCP stream socket (IPv6 dual-stack when the system has IPv6, else IPv4) bound to
// `localPort` (0 for any). Returns the descriptor or -1. The first and last arguments
// are kept for the callers' signature and ignored.
int IPV6OpenSocket(int reserved, unsigned localPort, int reserved2);
// Connects the socket to host:port. With port 0 the host carries its port after a
// colon ("host:port", "[::1]:2775"). Host may be an IPv4 or IPv6 literal (bracketed or
// not) or a name; a "#n" suffix (duplicate connection names) is stripped first. Tries
// every address of the name in turn, each bounded by the connect time-out. Returns 0
// when connected, non-zero on failure (errno describes it).
int IPV6ConnectToINetServer(int socket, const std::string& host, unsigned port);
// A host "quvsmsmodem_<device>" names a network modem: its address from the discovery
// cache, else the device text itself, on port 8990 when the text carries none. A missing
// or malformed port fails with EINVAL, a name that does not resolve with EHOSTUNREACH,
// an unanswered attempt with ETIMEDOUT. The socket is blocking again afterwards.
// Connect time-out in milliseconds (default 15000; 0 or less restores the default).
void SetConnectTimeout(int ms);

// ---- user store ------------------------------------------------------------------------------
inline constexpr std::size_t kUserRecordSize = 522;
inline constexpr const char* kHiddenPasswordMarker = "HIDDENFROMVIEW";

// The packed 522-byte user record shared with the services. Fields at their offsets;
// text fields NUL-terminated inside their slots; numbers little-endian.
struct UserRecord {
    unsigned char bytes[kUserRecordSize] = {};

    std::string UserName() const;       // offset 0, 51 bytes
    void SetUserName(const std::string& s);
    std::string Password() const;       // offset 51, 51 bytes
    void SetPassword(const std::string& s);
    std::string FullName() const;       // offset 102, 101 bytes
    void SetFullName(const std::string& s);
    bool WebLoginDisabled() const { return bytes[203] != 0; }
    void SetWebLoginDisabled(bool v) { bytes[203] = v ? 1 : 0; }
    bool SmppLogin() const { return bytes[204] != 0; }
    void SetSmppLogin(bool v) { bytes[204] = v ? 1 : 0; }
    bool SmtpLogin() const { return bytes[205] != 0; }
    void SetSmtpLogin(bool v) { bytes[205] = v ? 1 : 0; }
    std::int32_t DailyLimit() const;    // offset 206
    void SetDailyLimit(std::int32_t v);
    std::int32_t MonthlyLimit() const;  // offset 210
    void SetMonthlyLimit(std::int32_t v);
    std::string AllowedIps() const;     // offset 225, 50 bytes
    void SetAllowedIps(const std::string& s);
    std::string ForcedSender() const;   // offset 276, 51 bytes
    void SetForcedSender(const std::string& s);
    std::string ReceiveSpeedLimit() const;  // offset 409, 10 bytes
    void SetReceiveSpeedLimit(const std::string& s);
    int WebMenu() const;                // offset 419: 0xB0 + index, other bytes read 0
    void SetWebMenu(int index);
    bool Admin() const { return bytes[420] == 0x6A; }
    void SetAdmin(bool v) { bytes[420] = v ? 0x6A : 0; }
    bool AcceptReceived() const { return bytes[421] != 0; }
    void SetAcceptReceived(bool v) { bytes[421] = v ? 1 : 0; }
};
static_assert(sizeof(UserRecord) == kUserRecordSize);

enum Access : unsigned { GENERIC_READ = 0x80000000u, GENERIC_WRITE = 0x40000000u };

// An open account store; 0 is no handle.
using UserHandle = std::intptr_t;

// Opens the store ("USERS.DB" in the program data directory, SQLite, mode 0660).
// Returns non-zero when open; `handle` receives the handle.
int SMSOpenUserFile(UserHandle* handle, unsigned access);
void SMSCloseUserFile(UserHandle handle);
// Records in user-name order (ignoring case); non-zero while index < count.
int SMSGetUserRecord(UserHandle handle, int index, UserRecord* record);
// Non-zero when an account of that name (ignoring case) exists.
int SMSFindUserRecord(UserHandle handle, const std::string& userName, UserRecord* record);
// Index of the first record (same order as SMSGetUserRecord) whose user name begins with
// `text` ignoring case, or -1.
int SMSFindFirstUserRecord(UserHandle handle, const std::string& text, UserRecord* record);
int SMSGetRecordCount(UserHandle handle);
// Stores the record, replacing an account of the same name ignoring case. A password of
// kHiddenPasswordMarker keeps the stored password. Non-zero on success.
int SMSAddUser(UserHandle handle, const UserRecord& record);
// Removes the account; non-zero when one was removed.
int SMSDeleteUser(UserHandle handle, const std::string& userName);

// A user name mended into one safe directory name: "/", "\", NUL and other control
// characters become "_", and a name of only dots becomes "_". An empty name also gives
// "_", and the result is cut to 255 bytes, so it is always exactly one directory entry.
std::string SafeUserDirectoryName(const std::string& userName);

// ---- character conversion ---------------------------------------------------------------
// Decodes GSM 7-bit user data given as hexadecimal text, after a user data header (also
// hexadecimal, possibly empty) whose length decides the fill bits. Returns UTF-8.
// The header may be given with or without its length octet. Hexadecimal text is read up
// to its first non-hexadecimal character. Seven spare bits at the very end (zeros, or a
// carriage return) are padding, not a character.
std::string GSM7ToUTF8String(const std::string& headerHex, const std::string& dataHex);

// The encoding side, for the services that send. UTF-8 text as unpacked GSM 7-bit
// septets (one byte each), characters of the extension table as escape and code; false
// when some character has no GSM form (the text then goes as UCS-2) or the UTF-8 is
// invalid. A carriage return or line feed maps to its own code.
bool UTF8ToGSM7Septets(const std::string& utf8, std::string& septets);
// Unpacked septets back to UTF-8 (the inverse of UTF8ToGSM7Septets).
std::string GSM7SeptetsToUTF8(const std::string& septets);
// Packs septets into octets after `fillBits` (0..6) zero bits, as user data that follows
// a header of that many spare bits.
std::string PackGSM7Septets(const std::string& septets, unsigned fillBits);
// The inverse: the first `count` septets (one byte each) of packed user data after
// `fillBits` (0..6) spare bits; fewer when the octets run out.
std::string UnpackGSM7Septets(const std::string& octets, unsigned fillBits, std::size_t count);
// UTF-8 to UTF-16 big-endian (UCS-2 for the BMP, surrogate pairs beyond it); false on
// invalid UTF-8.
bool UTF8ToUCS2(const std::string& utf8, std::string& ucs2);
// UTF-16 big-endian to UTF-8; an odd last byte is dropped, a lone surrogate becomes U+FFFD.
std::string UCS2ToUTF8(const std::string& ucs2);

// ---- service wake-up ---------------------------------------------------------------------
// Tells the Gateway service to look at new spool files of an interface ("SMSOut",
// "VASPOut") for a route or account: touches "WAKE/<interface>" below the program data
// directory (its modification time changes; the service watches it with inotify).
// Never blocks and never fails the caller.
// How a service watches: inotify_add_watch on the "WAKE/" directory itself (the file may
// not exist yet) for IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO; an event
// whose name is the interface means "scan that spool now". Events can coalesce or the
// queue overflow (IN_Q_OVERFLOW), so the service keeps its periodic scan as well.
void SetEventForInterface(const std::string& interfaceName, const std::string& route);
std::string WakeFilePath(const std::string& interfaceName);

// ---- network-modem discovery and operator settings ------------------------------------
// The DNS-SD service type phones advertise their modem app under.
inline constexpr const char* kQuvsmsModemServiceType = "_quvsmsmodem._tcp";
// The longest device text the discovery cache keeps (bytes, without the NUL).
inline constexpr std::size_t kQuvsmsModemMaxDeviceText = 115;

// One discovery cache record as callers see it: the device text ("192.168.1.20:8990",
// "[fd00::7]:8990"), NUL-terminated, then the next record. Records are appended and never
// changed or freed while the process runs, so a walk from QuvsmsModemCacheHead() is safe
// while a search runs on another thread.
struct QuvsmsModem {
    char name[kQuvsmsModemMaxDeviceText + 1] = {};
    std::atomic<QuvsmsModem*> next{nullptr};
};
static_assert(offsetof(QuvsmsModem, name) == 0);
static_assert(sizeof(std::atomic<QuvsmsModem*>) == sizeof(QuvsmsModem*));

// One search of the local network for phones advertising kQuvsmsModemServiceType: browses
// until the network has answered and every phone found is resolved, or for at most three
// seconds (never longer than `timeoutSeconds`; zero or less does not search). Phones found
// are added to the cache. Without a reachable DNS-SD daemon nothing is found and the call
// returns at once. Returns the number of records in the cache.
int FindQuvSMSModem(int reserved, int reserved2, int timeoutSeconds);
// The first cache record, or null while nothing was found.
QuvsmsModem* QuvsmsModemCacheHead();
// The device texts of the cache, in the order they were found.
std::vector<std::string> QuvsmsModemCacheDevices();
// No operator list is shipped: not available, and choosing never succeeds.
int OperatorSettingsListAvailable();
int ChooseOperatorSettings(void* owner, char* apn, char* user, char* password, char* proxy,
                           char* mmsUrl);

}  // namespace acctdb
