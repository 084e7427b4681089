// SPDX-License-Identifier: GPL-3.0-or-later
// What the window says when a message does not reach the converter: the reason, the port it
// was for and what to do; once for one action (Send all, an opened setup) however many of its
// messages failed, now or when their time on the cable came.
#pragma once

#include <exception>
#include <functional>
#include <string>

class SendProblems {
  public:
    // `port` names the output port chosen now, empty for none; `say` shows a text.
    SendProblems(std::function<std::string()> port, std::function<void(const std::string&)> say);

    // The messages sent from now on, until the next call of either, are one action.
    void beginAction() { action_ = Action{}; }
    void beginSingle() { action_ = Action{false, false}; }
    // Says the failure, unless the action it belongs to has said one already.
    void failed(const std::exception_ptr& failure);
    // The text for a failure.
    std::string describe(const std::exception_ptr& failure) const;

  private:
    struct Action {
        bool grouped = true;
        bool said = false;
    };
    std::function<std::string()> port_;
    std::function<void(const std::string&)> say_;
    Action action_{false, false};
};
