#include "modem/engine/telnet.h"

#include <algorithm>

namespace modem::telnet {
namespace {

void Reply(std::string& replies, unsigned char verb, unsigned char option) {
    replies.push_back(static_cast<char>(IAC));
    replies.push_back(static_cast<char>(verb));
    replies.push_back(static_cast<char>(option));
}

unsigned char At(const std::string& data, std::size_t i) {
    return static_cast<unsigned char>(data[i]);
}

template <typename Visit>
void ForEachAlternative(std::string_view expect, Visit visit) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t sep = expect.find("+++", pos);
        const std::string_view alt =
            expect.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        if (visit(alt)) return;
        if (sep == std::string_view::npos) return;
        pos = sep + 3;
    }
}

}  // namespace

void HandleCommands(std::string& data, bool& negotiated, std::string& replies) {
    while (data.size() >= 2 && At(data, 0) == IAC && At(data, 1) >= SE) {
        const unsigned char verb = At(data, 1);
        if (verb == IAC) return;  // escaped data byte 255
        if (verb == SB) {
            const std::string end{static_cast<char>(IAC), static_cast<char>(SE)};
            const std::size_t close = data.find(end, 2);
            data.erase(0, close == std::string::npos ? data.size() : close + 2);
            continue;
        }
        if (verb >= WILL) {  // WILL, WONT, DO, DONT carry an option byte
            if (data.size() < 3) return;
            const unsigned char option = At(data, 2);
            if (verb == DO) {
                if (!negotiated) {
                    Reply(replies, DO, kSuppressGoAhead);
                    Reply(replies, WILL, kSuppressGoAhead);
                    negotiated = true;
                }
                Reply(replies, option == kSuppressGoAhead ? WILL : WONT, option);
            } else if (verb == DONT) {
                Reply(replies, WONT, option);
            }
            data.erase(0, 3);
            continue;
        }
        data.erase(0, 2);  // GA, EL, EC, AYT, AO, IP, BRK, DM, NOP, SE
    }
}

bool MatchesExpectList(std::string_view received, std::string_view expect) {
    bool found = false;
    ForEachAlternative(expect, [&](std::string_view alt) {
        found = !alt.empty() && received.find(alt) != std::string_view::npos;
        return found;
    });
    return found;
}

std::size_t LongestAlternative(std::string_view expect) {
    std::size_t longest = 0;
    ForEachAlternative(expect, [&](std::string_view alt) {
        longest = std::max(longest, alt.size());
        return false;
    });
    return longest;
}

}  // namespace modem::telnet
