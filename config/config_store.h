// The configuration store: where ZELLA.INI and the gateway's data directories are, how
// the shared [ZELLA] keys are read and written, the SMSC connection list "Modem%u",
// connection section and file names, the connection edit record, and the two trigger
// keys by which the console tells a running service that its configuration changed.
//
// Every directory path returned here ends in "/". Failures to create a directory are not
// reported: the path is returned anyway, as the services create what they need too.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class IniSnapshot;
}  // namespace platform

namespace config {

inline constexpr const char* kZellaSection = "ZELLA";
inline constexpr std::size_t kValueSize = 500;  // most INI values
inline constexpr std::size_t kPathSize = 260;   // INI values holding a path

// ---- the configuration path ----------------------------------------------------------
// Full path of ZELLA.INI: the name handed to the account-store library
// (acctdb::SMSIniSetFilename) when one was, else "ZELLA.INI" in the program data
// directory. Safe to call from any thread.
std::string ConfigurationPath();
// Hands `path` to the account-store library, the one holder of the name, so this
// module's readers and writers and the library's readers all use it from now on ("":
// this module falls back to the default, the library's readers give their defaults).
void SetConfigurationPath(const std::string& path);
// Full path of MMSC.INI: the file handed to the account-store library when one was,
// else "MMSC.INI" in the program data directory.
std::string MmscIniPath();

// ---- [ZELLA] keys ---------------------------------------------------------------------
// Value of `key` in [ZELLA] of ZELLA.INI, cut to size-1 characters; `def` when absent.
std::string ReadZellaKey(std::string_view key, std::string_view def = "",
                         std::size_t size = kValueSize);
// Writes `key` in [ZELLA]; no value deletes the key. False when the file could not be
// written (it is then unchanged).
bool WriteZellaKey(std::string_view key, std::optional<std::string_view> value);

// The one reading rule for boolean values: true when the text begins with "Y", "y" or
// "1", or equals "TRUE" ignoring case; anything else, the empty text included, is false.
bool IsYes(std::string_view text);

// ---- directories ----------------------------------------------------------------------
// Outbound queue: QDir, else the program data directory plus "Q/" (created when
// missing). With a route, its file-safe name (ConnectionFileName) is appended and the
// sub-directory created; when it still does not exist after two attempts, or the route
// has no usable name ("", ".", ".."), the base queue directory is returned.
std::string QueueDirectory(const std::string& route = {});
// Received SMS: SmsInDir, else the program data directory plus "SMS-IN/" (not created).
std::string InboundSmsDirectory();
// Received MMS: MMSDir, else the program data directory plus "MMS-IN/" (created).
std::string InboundMmsDirectory();
// "VASPQDir" of [MMSC] in MMSC.INI, else the program data directory plus "VASPQ/"
// (created when missing).
std::string VaspQueueDirectory();
// "VASPConfigDir" of [MMSC] in MMSC.INI, else the program data directory.
std::string VaspConfigDirectory();
// UsersDir, else the program data directory plus "USERS/" (created). With a user name,
// the user's own sub-directory is appended and created; the name is mended first so
// that no user name ("..", "a/../../b", names with NUL or "\") can leave the users
// directory.
std::string UserDirectory(const std::string& user = {});
// PHPDir, else the program data directory plus "PHP/" (not created).
std::string PhpDirectory();

// ---- the SMSC connection list ---------------------------------------------------------
// The names of every connection, in key order. "Modem1" to "Modem201" are always
// examined, whatever the gaps; past 201 the walk goes on only while the previous key
// had a value. Empty keys are left out.
std::vector<std::string> ListConnections();
// The same walk over a snapshot of ZELLA.INI already read by the caller.
std::vector<std::string> ListConnections(const platform::IniSnapshot& zella);
// The number n of the first "Modem%u" whose value equals `name` ignoring ASCII case,
// walking from "Modem1" and stopping at the first empty key; 0 when not found.
unsigned FindConnection(std::string_view name);

// Section of a connection: the name itself when it begins, ignoring case, with one of
// the typed prefixes ("SMPP - ", "HTTP - ", "UCP - ", "CIMD - ", "IPModem - ",
// "QuvSMSModem - "), else "Modem - " and the name; then "[" becomes "\x5B" and "]"
// becomes "\x5D" so the name can stand between the brackets of a section header. A
// backslash that would otherwise be read back as one of these escapes is itself written
// "\x5C", so ConnectionNameFromSection always gives the (prefixed) name back.
std::string ConnectionSectionName(std::string_view name);
// Undoes the escapes of ConnectionSectionName ("\x5B", "\x5D", "\x5C"); the prefix stays.
std::string ConnectionNameFromSection(std::string_view section);

// Splits "host:port" or "[v6-literal]:port". A text beginning with "[" has the host up
// to the first "]" inclusive and a port only when ":" follows right after it; otherwise
// the host runs to the first ":". The port is the run of decimal digits after the ":";
// when there is none, or it is above 65535, `port` keeps the caller's value. Returns
// true when `port` was set.
bool SplitHostPort(std::string_view text, std::string& host, unsigned& port);

// A connection edit record is the connection name, then for each setting a tab, the key,
// "=" and the value. Returns the value of the first tab-separated field that begins,
// ignoring case, with `key` followed by "=" (the name field takes part like any other);
// nothing when no field does. An empty value (present, meaning "delete the key") is "".
std::optional<std::string> FindRecordValue(std::string_view record, std::string_view key);

// A connection name as part of a file or directory name: ":", "/" and "\" become "-".
std::string ConnectionFileName(std::string_view name);

// `IsKnownRoute`: whether `route` names a listed connection or the RouteName of one,
// ignoring case (how requests may name their route).
bool IsKnownRoute(const std::string& route);

// ---- signals to the running service ----------------------------------------------------
// The restart trigger value for now: the gateway's local time (acctdb::TZGetLocalTime)
// as "%04d%02d%02d%02d%02d%02d", fixed width, so a later value compares greater.
std::string RestartTriggerNow();
// Stores RestartTriggerNow() as ConfigurationUpdateTriggerRestart in [ZELLA].
// `beforeStore`, when given, receives the value before it reaches the file, so the
// caller can adopt it as its own baseline and not mistake it for another process's
// restart. Returns the value, or "" when the file could not be written.
std::string WriteRestartTrigger(const std::function<void(const std::string&)>& beforeStore = {});
// Stores ConfigurationUpdateTriggerReload = "Yes" in [ZELLA]; false when not written.
bool WriteReloadTrigger();

}  // namespace config
