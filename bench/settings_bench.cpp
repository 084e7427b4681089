// The settings file: opening the settings key (one read of the file) and saving a value (a
// read and an atomic replacement) with 10, 10^3 and 10^5 other keys in the file. Both should
// grow in proportion to the file.
#include "platform/win32.h"
#include "test_environment.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
BENCHMARK(BM_SaveSettings)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    UseOwnSettingsFolder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
