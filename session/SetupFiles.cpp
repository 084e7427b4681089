// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupFiles.h"

#include "platform/file_replace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

SetupFileContents ReadSetupFile(const std::string& path, const ConverterSetup& base) {
    const auto named = [&](SetupFileContents contents) {
        if (!contents.error.empty())
            contents.error = NamedFileError(path, contents.error);
        return contents;
    };
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error)
        return named({"It cannot be read: " + error.message(), base, 0});
    if (std::filesystem::is_directory(status))
        return named({"It is a folder, not a file", base, 0});
    if (!std::filesystem::is_regular_file(status))
        return named({"It is not a regular file", base, 0});
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return named({std::string("It cannot be opened: ") + std::strerror(errno), base, 0});
    // At most one byte more than accepted: that tells a file that is too large without
    // reading all of it.
    const auto size = std::filesystem::file_size(path, error);
    std::vector<std::uint8_t> bytes(std::min<std::uintmax_t>(error ? 0 : size, kMaxSetupFileBytes) +
                                    1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return named({"It cannot be read", base, 0});
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return named(ParseSetupFile(bytes, base));
}

std::string WriteSetupFile(const std::string& path, const ConverterSetup& setup) {
    const std::vector<std::uint8_t> bytes = SetupFileBytes(setup, IsMidiFileName(path));
    const std::string failed = platform::ReplaceFileSafely(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return failed.empty() ? failed : NamedFileError(path, "It cannot be saved: " + failed);
}
