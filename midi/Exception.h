// SPDX-License-Identifier: GPL-3.0-or-later
// The program's exception base: a message text and nothing else. Each component raises a class
// of its own derived from it.
#pragma once

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }

  private:
    std::string message_;
};
