// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the .syx setup reader: no input may crash it; a file it accepts gives a
// setup whose own file reads back the same, and one it refuses changes nothing.
#include "converter/SetupFile.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ConverterSetup base{3, 40, true, false, 9};
    const SetupFileContents read = ParseSetupFile(std::span(data, size), base);
    if (!read.error.empty()) {
        if (!(read.setup == base) || read.skipped != 0)
            std::abort();
        return 0;
    }
    std::vector<std::uint8_t> again;
    for (const auto& message : read.setup.messages())
        again.insert(again.end(), message.begin(), message.end());
    const SetupFileContents reread = ParseSetupFile(again, base);
    if (!reread.error.empty() || !(reread.setup == read.setup) || reread.skipped != 0)
        std::abort();
    return 0;
}
