// What a keyword command does with a received message: a text reply, a reply with the
// text of a file from "FILES/", an HTTP call or a local command (its answer sent back
// when RunSendResponse says so), the message forwarded by e-mail, the sender added to or
// removed from a distribution list ("DLISTS/<list>.TXT", one number a line).
//
// Replies go back to the sender through the connection the message came in on. HTTP
// calls carry the message as the fields sender, recipient, text, connection and time
// (query of a GET, form of a POST); local commands get them as the environment variables
// SMS_SENDER, SMS_RECIPIENT, SMS_TEXT, SMS_CONNECTION, SMS_TIME, the text on their
// standard input too. The text handed to calls, commands and mail is in the
// ReceiveSMSCharset of the gateway.
#pragma once

#include <string>
#include <vector>

#include "gateway/settings.h"
#include "twoway/keyword_command.h"

namespace gateway::keywords {

struct ReceivedMessage {
    std::string sender, recipient, text, connection, time;  // text as UTF-8
};

struct ActionSettings {
    const GatewaySettings* gateway = nullptr;  // the mail keys
    std::string charset = "utf-8";             // ReceiveSMSCharset
    std::string dataDir;                       // FILES/ and DLISTS/ are below it
    std::string commandUser = "nobody";        // who runs local commands when the service is root
    int commandTimeoutMs = 30'000;
};

// Carries out every action of `command`; one line per action telling how it went.
std::vector<std::string> RunKeywordCommand(const twoway::KeywordCommand& command, const ReceivedMessage& message,
                                           const ActionSettings& settings);

// The file a ReplyFile names, when it lies inside "FILES/" of `dataDir` (a relative name
// is taken from there; links are followed before the check); "" otherwise.
std::string ConfinedReplyFile(const std::string& dataDir, const std::string& name);

}  // namespace gateway::keywords
