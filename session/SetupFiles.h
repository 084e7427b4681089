// SPDX-License-Identifier: GPL-3.0-or-later
// Converter setups as files on the disk: read and checked, and written whole or not at all.
#pragma once

#include "converter/SetupFile.h"

#include <string>

// Reads and parses a file; the error names the file.
SetupFileContents ReadSetupFile(const std::string& path, const ConverterSetup& base);
// Replaces the file at `path` with the setup's messages, whole or not at all, never through a
// device, a FIFO or a read-only file. Empty on success, else what went wrong, naming the file.
std::string WriteSetupFile(const std::string& path, const ConverterSetup& setup);
