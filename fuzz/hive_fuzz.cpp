// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the registry hive parser: no input may crash it, and whatever it
// reads (flawed lines skipped) must be written back to text that reads back the same, whole.
#include "posix/registry/hive.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = platform::registry::ParseHive(text);
    if (!parsed)
        return 0;
    const auto again = platform::registry::ParseHive(platform::registry::FormatHive(parsed->hive));
    if (!again || again->skipped != 0 || !(again->hive == parsed->hive))
        std::abort();
    return 0;
}
