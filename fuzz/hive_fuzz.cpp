// libFuzzer target for the registry hive parser: no input may crash it, and whatever it
// accepts must be written back to text that reads back the same.
#include "posix/registry/hive.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto hive = platform::registry::ParseHive(text);
    if (!hive)
        return 0;
    const auto again = platform::registry::ParseHive(platform::registry::FormatHive(*hive));
    if (!again || !(*again == *hive))
        std::abort();
    return 0;
}
