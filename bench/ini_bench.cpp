// INI write cost: 10,000 new keys into a section of a file that already holds 2,000,
// written key by key, as one batch, and as one plain write of the same final bytes.
// Usage: ini_bench [directory]   (default: a fresh directory under /tmp)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/ini.h"

namespace {

constexpr unsigned kExisting = 2000;
constexpr unsigned kNew = 10000;

std::string StartingFile() {
    std::string text = "[ZELLA]\nWebPort=8800\n\n[Outbound SMS Routing]\n";
    for (unsigned i = 0; i < kExisting; ++i) {
        text += "Existing" + std::to_string(i) + "=SMPP - 10.0.0." + std::to_string(i % 250) + ":2775\n";
    }
    return text + "\n[Other]\nKey=value\n";
}

std::string RouteValue(unsigned i) { return "SMPP - 10.1." + std::to_string(i % 250) + ".1:2775"; }

template <typename Fn>
double Seconds(Fn&& fn) {
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    if (argc > 1) {
        dir = platform::WithSlash(argv[1]);
    } else {
        char tmpl[] = "/tmp/zella-ini-bench-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) return 1;
        dir = std::string(tmpl) + "/";
    }
    const std::string single = dir + "single.ini", batched = dir + "batched.ini",
                      plain = dir + "plain.ini";
    const std::string start = StartingFile();
    if (!platform::WriteFileAtomic(single, start) || !platform::WriteFileAtomic(batched, start)) {
        std::fprintf(stderr, "cannot write in %s\n", dir.c_str());
        return 1;
    }
    bool ok = true;
    double keyByKey = Seconds([&] {
        for (unsigned i = 0; i < kNew; ++i) {
            ok = platform::WritePrivateProfileString(single, "Outbound SMS Routing",
                                                     "Route" + std::to_string(i), RouteValue(i)) && ok;
        }
    });
    double batch = Seconds([&] {
        platform::IniBatch b(batched);
        for (unsigned i = 0; i < kNew; ++i) {
            b.Write("Outbound SMS Routing", "Route" + std::to_string(i), RouteValue(i));
        }
        ok = b.Commit() && ok;
    });
    std::string finalText;
    ok = platform::ReadFile(batched, finalText) && ok;
    double plainWrite = Seconds([&] {
        std::ofstream out(plain, std::ios::binary | std::ios::trunc);
        out.write(finalText.data(), static_cast<std::streamsize>(finalText.size()));
    });
    // The batch's replacement is durable (fsync of file and directory); this is the
    // floor for any durable replace of the same bytes.
    double durablePlain = Seconds([&] { ok = platform::WriteFileAtomic(plain, finalText) && ok; });
    std::string singleText;
    platform::ReadFile(single, singleText);
    if (!ok || singleText != finalText) {
        std::fprintf(stderr, "FAILED: writes failed or key-by-key and batch results differ\n");
        return 1;
    }
    std::printf("file: %zu bytes, %u keys in the section\n", finalText.size(), kExisting + kNew);
    std::printf("key by key (%u writes): %10.3f ms\n", kNew, keyByKey * 1000);
    std::printf("batch (one commit):       %10.3f ms\n", batch * 1000);
    std::printf("plain ofstream write:     %10.3f ms\n", plainWrite * 1000);
    std::printf("batch / plain ratio:      %10.2f  (target <= 3)\n", batch / plainWrite);
    std::printf("durable plain replace:    %10.3f ms  (write, fsync, rename, fsync dir)\n",
                durablePlain * 1000);
    std::printf("batch / durable ratio:    %10.2f\n", batch / durablePlain);
    platform::DeleteDirectoryTree(dir);
    return 0;
}
