// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: opening the settings key (one read of the file) and saving a value (a
// read and an atomic replacement) with 10, 10^3 and 10^5 other keys in the file, and parsing a
// file of 10^3 to 10^5 keys with as many "[-key]" deletions beside the same file without them.
// All should grow in proportion to the file; the deletions should cost about what their lines
// do.
#include "platform/win32.h"
#include "posix/registry/hive.h"
#include "test_environment.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

// A settings file with `keys` keys of two values each besides the program's own.
void writeSettings(int keys) {
    const auto folder = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "rdn417-config";
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / "HKEY_CURRENT_USER.reg", std::ios::binary | std::ios::trunc);
    out << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" << kPath
        << "]\n\"CAN\"=dword:00000003\n";
    for (int i = 0; i < keys; ++i)
        out << "\n[HKEY_CURRENT_USER\\Software\\Vendor " << i
            << "\\Settings]\n\"Path\"=\"C:\\\\Program"
            << " Files\\\\App " << i << "\"\n\"Count\"=dword:" << std::hex << i << std::dec << "\n";
}

void BM_LoadSettings(benchmark::State& state) {
    writeSettings(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            state.SkipWithError("the key could not be opened");
        RegCloseKey(key);
    }
}
BENCHMARK(BM_LoadSettings)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void BM_SaveSettings(benchmark::State& state) {
    writeSettings(static_cast<int>(state.range(0)));
    DWORD value = 0;
    for (auto _ : state) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        ++value;
        RegSetValueExA(key, "CAN", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        if (RegCloseKey(key) != ERROR_SUCCESS)
            state.SkipWithError("the key could not be saved");
    }
}
// A file of `keys` keys of two values, then, with `deletions`, a "[-key]" line for each of them.
std::string hiveText(int keys, bool deletions) {
    std::ostringstream out;
    out << "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < keys; ++i)
        out << "\n[HKEY_CURRENT_USER\\Software\\Vendor " << i
            << "\\Settings]\n\"Path\"=\"C:\\\\App " << i << "\"\n\"Count\"=dword:00000010\n";
    for (int i = 0; deletions && i < keys; ++i)
        out << "\n[-HKEY_CURRENT_USER\\Software\\Vendor " << i << "]\n";
    return out.str();
}

void BM_ParseHive(benchmark::State& state) {
    const std::string text = hiveText(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        const auto parsed = platform::registry::ParseHive(text);
        if (!parsed || parsed->skipped != 0)
            state.SkipWithError("the file did not parse");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseHive)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"keys", "deletions"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_SaveSettings)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    UseOwnSettingsFolder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
