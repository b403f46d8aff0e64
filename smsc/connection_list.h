// The SMSC connection list as the SMSC page keeps it: one entry per connection, in the
// order of the "Modem%u" keys of [ZELLA], each with the settings its dialog changed but
// the page has not stored yet; storing it into ZELLA.INI with renames and the clean-up
// of orphaned connection sections; the network-modem VASP account clean-up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace smsc {

inline constexpr std::size_t kMaxDisplayText = 150;

struct ConnectionEntry {
    std::string display;   // the text the list shows
    std::string name;      // the connection name
    std::string settings;  // pending "\tKey=value" pairs, "" once stored
    // The connection edit record: the name followed by the pending settings.
    std::string Record() const { return name + settings; }
    // The three parts separated by tabs, as the list compares entries.
    std::string Text() const { return display + "\t" + name + "\t" + settings; }
};

// An entry from a connection edit record ("name\tKey=value..."). Its display text is
// the route name followed by " (" name ")" when the route name is non-empty, else the
// name, cut to 150 characters; the route name is the record's "RouteName" setting when
// it has one, else the connection section's.
ConnectionEntry EntryFromRecord(const std::string& record);

// Every connection of ZELLA.INI (config::ListConnections), with no pending settings.
std::vector<ConnectionEntry> LoadConnectionEntries();

// Stores the list: "Modem1".. in list order (a rename through "SaveRoute" first copies
// every key of the old section into the new one; an empty value deletes the key), the
// keys past the list deleted, then every connection section that no entry names
// removed (sections of IP modems excepted). One rewrite of the file. On success the
// pending settings of every entry are dropped and true is returned; when the file
// cannot be written it is unchanged, the entries keep their settings, and false is
// returned.
bool StoreConnectionList(std::vector<ConnectionEntry>& entries);

// The list a page should store when another console or the service may have changed
// ZELLA.INI since the page loaded `loaded` (connection names): the page's entries in its
// order, less those it left untouched (no pending settings) that are no longer in
// `stored`, followed by the connections of `stored` that neither `loaded` nor the page
// knows. Names compare ignoring case. So the page's own adds, edits and removals win, and
// what others added or removed meanwhile is kept.
std::vector<ConnectionEntry> MergeConnectionList(const std::vector<ConnectionEntry>& page,
                                                 const std::vector<std::string>& loaded,
                                                 const std::vector<std::string>& stored);

// For a network modem ("QuvSMSModem - account:...") whose outbound VASP account is a
// modem account (its VASP.INI has Protocol "MM1" and a Server beginning
// "quvsmsmodem_"): drops the account (VASPOutDeleteUser), deletes its directory and its
// key of "Outbound MMS Routing" in MMSC.INI. Account names that are not one plain
// directory name are left alone. True when an account was removed.
bool RemoveNetworkModemAccount(const std::string& connectionName);

// Whether the name begins, ignoring case, with `prefix`.
bool HasPrefix(const std::string& name, const char* prefix);

}  // namespace smsc
