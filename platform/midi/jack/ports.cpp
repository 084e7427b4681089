// SPDX-License-Identifier: GPL-3.0-or-later
#include "../host_names.h"
#include "jack_backend.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace platform::midi {
namespace {

using Clock = std::chrono::steady_clock;

// How often the watcher lists the ports when the server has said nothing.
constexpr auto kWatchPeriod = std::chrono::milliseconds(200);
// No client is opened this soon after a server went away (see jack_backend.h).
constexpr auto kQuietAfterServer = std::chrono::seconds(2);

}  // namespace

JackBackend::JackBackend() : watcher_([this] { watch(); }) {}

JackBackend::~JackBackend() {
    {
        std::lock_guard lock(watchMutex_);
        stopping_ = true;
    }
    watchWake_.notify_one();
    watcher_.join();
    // The client's notifications use the members below: they stop before those go. A port
    // still open keeps the client itself.
    if (client_)
        client_->silence();
    client_.reset();
}

void JackBackend::changed(void* self) {
    auto* backend = static_cast<JackBackend*>(self);
    {
        std::lock_guard lock(backend->watchMutex_);
        backend->woken_ = true;
    }
    backend->watchWake_.notify_one();
}

std::shared_ptr<JackClient> JackBackend::client() {
    if (client_ && client_->alive())
        return client_;
    if (client_) {
        std::fprintf(stderr, "rdn417: the JACK server has gone away\n");
        client_->silence();
        client_.reset();
        quietUntil_ = Clock::now() + kQuietAfterServer;
        problem_ = "the JACK server has gone away; its ports are listed once it runs again";
    }
    // An open that found no answer is still waiting: no second one beside it.
    if (Clock::now() < quietUntil_ || openPending_->load(std::memory_order_acquire))
        return nullptr;
    std::string problem;
    client_ =
        JackClient::open(ProgramClientName(), &JackBackend::changed, this, problem, openPending_);
    if (!client_) {
        if (std::exchange(problem_, problem) != problem)
            std::fprintf(stderr, "rdn417: %s\n", problem.c_str());
        return nullptr;
    }
    problem_.clear();
    return client_;
}

MMRESULT JackBackend::findPort(unsigned index, unsigned long flags,
                               std::shared_ptr<JackClient>& current, std::string& name) {
    std::lock_guard lock(mutex_);
    current = client();
    if (!current)
        return MIDIERR_NODEVICE;
    const std::vector<std::string> ports = current->ports(flags);
    if (index >= ports.size())
        return MMSYSERR_BADDEVICEID;
    name = ports[index];
    return MMSYSERR_NOERROR;
}

std::string JackBackend::trouble() {
    std::lock_guard lock(mutex_);
    const auto current = client();
    if (problem_ == JackClient::kNoServer)
        return "No JACK server is running: start JACK (with QjackCtl, for instance); its ports "
               "are listed once it runs.";
    std::string said =
        current && !current->answering() ? std::string(JackClient::kUnanswered) : problem_;
    if (said.empty())
        return {};
    said.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(said.front())));
    return said + ".";
}

std::string JackBackend::shownName(const std::string& full) const {
    return HostPortName(full);
}

std::vector<std::string> JackBackend::outputNames() {
    std::lock_guard lock(mutex_);
    const auto current = client();
    // An output of ours goes to a port that takes input.
    return current ? current->ports(JackPortIsInput) : std::vector<std::string>{};
}

std::vector<std::string> JackBackend::inputNames() {
    std::lock_guard lock(mutex_);
    const auto current = client();
    return current ? current->ports(JackPortIsOutput) : std::vector<std::string>{};
}

void JackBackend::look() {
    std::vector<std::string> names = outputNames();
    names.emplace_back();  // between the two lists
    for (std::string& name : inputNames())
        names.push_back(std::move(name));
    bool differs = false;
    {
        std::lock_guard lock(mutex_);
        differs = names != lastSeen_;
        lastSeen_ = std::move(names);
    }
    if (differs && PortsWatched())
        portsChanged();
}

void JackBackend::watch() {
    std::unique_lock lock(watchMutex_);
    while (!stopping_) {
        watchWake_.wait_for(lock, kWatchPeriod, [this] { return stopping_ || woken_; });
        if (stopping_)
            return;
        woken_ = false;
        lock.unlock();
        if (PortsWatched())
            look();
        else {
            // Nobody listens: only notice a server that went away, so that it is said.
            std::lock_guard ports(mutex_);
            if (client_ && !client_->alive())
                client();
        }
        lock.lock();
    }
}

}  // namespace platform::midi
