// INI write cost: 10,000 new keys into a section of a file that already holds 2,000,
// as one batch, beside a plain write and a durable atomic replace (write, fsync, rename,
// fsync of the directory) of the same final bytes. Key by key is measured on the first
// 1,000 keys only (each write rewrites the whole file); a batch of the other 9,000 then
// completes that file, which must equal the batch's. Each is reported as wall time and
// CPU time (user + system of this process): a durable replace waits for the disk in
// fsync, which is waiting, not work, so the target (batch <= 5 x durable replace) is
// judged on CPU time.
// Keys and values are formatted before any clock starts: the engine is measured, not
// std::to_string. The batch and the plain writes run several times; medians are shown.
// Usage: ini_bench [directory]   (default: a fresh directory under /tmp)
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/ini.h"

namespace {

constexpr unsigned kExisting = 2000;
constexpr unsigned kNew = 10000;
constexpr unsigned kByKey = 1000;  // of the kNew keys, written one by one
constexpr int kRuns = 7;
const char* const kSection = "Outbound SMS Routing";

std::string StartingFile() {
    std::string text = "[ZELLA]\nWebPort=8800\n\n[Outbound SMS Routing]\n";
    for (unsigned i = 0; i < kExisting; ++i) {
        text += "Existing" + std::to_string(i) + "=SMPP - 10.0.0." + std::to_string(i % 250) + ":2775\n";
    }
    return text + "\n[Other]\nKey=value\n";
}

struct Cost {
    double wall = 0;  // seconds
    double cpu = 0;   // seconds
};

double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

template <typename Fn>
Cost Measure(Fn&& fn) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = CpuNow();
    fn();
    return Cost{std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(),
                CpuNow() - cpu};
}

// Wall and CPU medians taken separately.
Cost Median(std::vector<Cost> runs) {
    auto middle = [&runs](double Cost::*field) {
        std::vector<double> values;
        for (const Cost& c : runs) values.push_back(c.*field);
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return Cost{middle(&Cost::wall), middle(&Cost::cpu)};
}

struct Inputs {
    std::vector<std::string> keys, values;
};

Inputs MakeInputs() {
    Inputs in;
    for (unsigned i = 0; i < kNew; ++i) {
        in.keys.push_back("Route" + std::to_string(i));
        in.values.push_back("SMPP - 10.1." + std::to_string(i % 250) + ".1:2775");
    }
    return in;
}

void PrintRow(const char* what, const Cost& c) {
    std::printf("%-34s wall %10.3f ms   cpu %10.3f ms\n", what, c.wall * 1000, c.cpu * 1000);
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
    const Inputs in = MakeInputs();
    if (!platform::WriteFileAtomic(single, start)) {
        std::fprintf(stderr, "cannot write in %s\n", dir.c_str());
        return 1;
    }
    bool ok = true;
    const Cost keyByKey = Measure([&] {
        for (unsigned i = 0; i < kByKey; ++i) {
            ok = platform::WritePrivateProfileString(single, kSection, in.keys[i], in.values[i]) && ok;
        }
    });
    platform::IniBatch rest(single);
    for (unsigned i = kByKey; i < kNew; ++i) rest.Write(kSection, in.keys[i], in.values[i]);
    ok = rest.Commit() && ok;
    std::vector<Cost> batchRuns, plainRuns, durableRuns;
    for (int run = 0; run < kRuns && ok; ++run) {
        ok = platform::WriteFileAtomic(batched, start);
        batchRuns.push_back(Measure([&] {
            platform::IniBatch b(batched);
            for (unsigned i = 0; i < kNew; ++i) b.Write(kSection, in.keys[i], in.values[i]);
            ok = b.Commit() && ok;
        }));
    }
    std::string finalText;
    ok = platform::ReadFile(batched, finalText) && ok;
    for (int run = 0; run < kRuns && ok; ++run) {
        plainRuns.push_back(Measure([&] {
            std::ofstream out(plain, std::ios::binary | std::ios::trunc);
            out.write(finalText.data(), static_cast<std::streamsize>(finalText.size()));
        }));
        durableRuns.push_back(Measure([&] { ok = platform::WriteFileAtomic(plain, finalText) && ok; }));
    }
    std::string singleText;
    platform::ReadFile(single, singleText);
    if (!ok || singleText != finalText) {
        std::fprintf(stderr, "FAILED: writes failed or key-by-key and batch results differ\n");
        return 1;
    }
    const Cost batch = Median(batchRuns), plainWrite = Median(plainRuns),
               durable = Median(durableRuns);
    std::printf("file: %zu bytes, %u keys in the section; medians of %d runs\n", finalText.size(),
                kExisting + kNew, kRuns);
    PrintRow("key by key (1,000 writes, once):", keyByKey);
    PrintRow("batch (one commit):", batch);
    PrintRow("plain ofstream write:", plainWrite);
    PrintRow("durable plain replace:", durable);
    std::printf("batch / plain, cpu:                %8.2f\n", batch.cpu / plainWrite.cpu);
    std::printf("batch / plain, wall:               %8.2f\n", batch.wall / plainWrite.wall);
    std::printf("batch / durable plain, wall:       %8.2f\n", batch.wall / durable.wall);
    std::printf("batch / durable plain, cpu:        %8.2f   (target <= 5)\n", batch.cpu / durable.cpu);
    std::printf("key by key (1,000) / durable, cpu: %8.0f   (%.1f us cpu per write)\n",
                keyByKey.cpu / durable.cpu, keyByKey.cpu / kByKey * 1e6);
    platform::DeleteDirectoryTree(dir);
    return 0;
}
