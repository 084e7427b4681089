// SPDX-License-Identifier: GPL-3.0-or-later
// What one of this program's exceptions says when an action raises it.
#pragma once

#include <gtest/gtest.h>

#include <string>

// The text of the `Error` that `action` raises, or "(nothing raised)".
template <typename Error, typename Action>
std::string RaisedMessage(Action action) {
    try {
        action();
    } catch (const Error& error) {
        return error.Message();
    }
    return "(nothing raised)";
}

// Checks that `action` raises an `Error` with exactly this text.
template <typename Error, typename Action>
void ExpectRaises(Action action, const std::string& message) {
    EXPECT_EQ(RaisedMessage<Error>(action), message);
}
