// The npm `smpp` client of tests/peers/smpp_client.js as a test's SMPP client: started
// with what to bind as and what to submit, read back line by line.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/peer_process.h"

namespace gateway_test {

class SmppClient {
public:
    SmppClient(unsigned port, const std::string& user, const std::string& password, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{std::string(ZELLA_PEERS_DIR) + "/smpp_client.js", "--port", std::to_string(port),
                                      "--user", user, "--password", password};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<zella_test::PeerProcess>("node", args);
    }
    // The next line beginning with `kind`, waiting up to `ms`; "" when none came.
    std::string Next(const std::string& kind, int ms = 15'000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            const std::string line = process_->ReadLine(200);
            if (!line.empty()) seen_ += line + "\n";
            if (line.rfind(kind, 0) == 0) return line;
        }
        return "";
    }
    const std::string& Seen() const { return seen_; }

private:
    std::unique_ptr<zella_test::PeerProcess> process_;
    std::string seen_;
};

}  // namespace gateway_test
