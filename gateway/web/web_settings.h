// What the web server reads from ZELLA.INI: its ports and address, the access lists, what
// the pages show, and the PHP folder.
#pragma once

#include <string>
#include <vector>

namespace gateway::web {

inline constexpr unsigned kDefaultWebPort = 8800;

struct WebSettings {
    // Listeners. Port 0 = that listener is off.
    unsigned port = kDefaultWebPort, sslPort = 0;
    bool sslRedirect = false;  // plain requests are sent to the TLS port
    std::string address;       // "" = every local address
    // Access lists ("IPRestrictions").
    std::vector<std::string> allowed, blocked;
    // Pages.
    bool auth = true, menu = true, displaySender = true, displayRoute = true;
    bool disableMms = false, disableMmWap = false, disableAdvanced = false;
    // PHP.
    bool phpEnable = false, phpAllowRemote = false;
    std::string phpDir;
    // Folders.
    std::string configPath, dataDir, queueDir, smsInDir, logDir;

    // Whether the listeners differ (a change restarts them).
    bool SameListeners(const WebSettings& other) const {
        return port == other.port && sslPort == other.sslPort && address == other.address;
    }
};

// Reads the settings from `configPath`. `certificateExists` tells whether the server
// certificate is present: without it there is no TLS port, and with it and a TLS port an
// absent WebPort means no plain port.
WebSettings LoadWebSettings(const std::string& configPath, bool certificateExists);

}  // namespace gateway::web
