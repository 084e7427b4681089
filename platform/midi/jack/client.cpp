// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadline.h"
#include "jack_backend.h"

#include <jack/midiport.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace platform::midi {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLongestWait = std::chrono::seconds(1);

// libjack prints a few lines each time a client cannot reach a server, which the watcher tries
// a few times a second while JACK is chosen: those lines go, and the backend says once instead.
void SilenceLibjack() {
    static const bool silenced = [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        return true;
    }();
    static_cast<void>(silenced);
}

// Closes a client that is still served, on the calling thread.
void Close(JackCore& core) {
    jack_deactivate(core.client);
    jack_client_close(core.client);
}

}  // namespace

JackCore::JackCore() {
    sem_init(&inputReady, 0, 0);
}

JackCore::~JackCore() {
    sem_destroy(&inputReady);
}

void JackCore::notify() {
    std::lock_guard lock(notifyMutex);
    if (changed != nullptr)
        changed(context);
}

void JackCore::checkOutputConnection() {
    std::lock_guard lock(notifyMutex);
    output.connected.store(
        !outputTarget.empty() && jack_port_connected_to(output.port, outputTarget.c_str()) != 0,
        std::memory_order_release);
}

// What an open made: the core, or why there is none.
struct JackClient::Opened {
    std::shared_ptr<JackCore> core;
    std::string problem;
};

std::shared_ptr<JackClient> JackClient::open(const std::string& name, void (*changed)(void*),
                                             void* context, std::string& problem,
                                             std::shared_ptr<std::atomic<bool>> pending) {
    SilenceLibjack();
    pending->store(true, std::memory_order_release);
    auto opened = WithinDeadline(
        kCallLimit,
        [name, changed, context, pending]() -> Opened {
            struct Done {
                std::atomic<bool>& pending;
                ~Done() { pending.store(false, std::memory_order_release); }
            } done{*pending};
            jack_status_t status{};
            jack_client_t* handle = jack_client_open(
                name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                &status);
            // A server that refuses the name has a client of that name already (a second copy
            // of the program): JACK then gives this one a name of its own.
            if (handle == nullptr && !(status & JackServerFailed))
                handle = jack_client_open(name.c_str(), JackNoStartServer, &status);
            if (handle == nullptr)
                return {nullptr, kNoServer};
            auto core = std::make_shared<JackCore>();
            core->client = handle;
            core->lastCycleAt.store(Clock::now().time_since_epoch().count());
            core->rate = jack_get_sample_rate(handle);
            core->changed = changed;
            core->context = context;
            JackCore* self = core.get();
            jack_set_process_callback(handle, &JackClient::process, self);
            jack_on_info_shutdown(handle, &JackClient::shutdown, self);
            jack_set_port_registration_callback(
                handle, [](jack_port_id_t, int, void* me) { static_cast<JackCore*>(me)->notify(); },
                self);
            jack_set_port_connect_callback(
                handle,
                [](jack_port_id_t, jack_port_id_t, int, void* me) {
                    auto* core = static_cast<JackCore*>(me);
                    core->checkOutputConnection();
                    core->notify();
                },
                self);
            jack_set_client_registration_callback(
                handle, [](const char*, int, void* me) { static_cast<JackCore*>(me)->notify(); },
                self);
            core->output.port =
                jack_port_register(handle, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            core->input.port =
                jack_port_register(handle, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            std::string failed;
            if (core->output.port == nullptr || core->input.port == nullptr)
                failed =
                    "JACK refused this program's ports \"out\" and \"in\" "
                    "(jack_port_register failed)";
            else if (jack_activate(handle) != 0)
                failed =
                    "the JACK server refused to run this program's client (jack_activate "
                    "failed)";
            if (!failed.empty()) {
                jack_client_close(handle);
                return {nullptr, failed};
            }
            return {std::move(core), {}};
        },
        [](Opened late) {
            // The server answered after all, too late: this client is not used.
            if (late.core) {
                {
                    std::lock_guard lock(late.core->notifyMutex);
                    late.core->changed = nullptr;
                }
                Close(*late.core);
            }
        });
    if (!opened) {
        problem = kUnanswered;
        return nullptr;
    }
    if (!opened->core) {
        problem = opened->problem;
        return nullptr;
    }
    std::shared_ptr<JackClient> client(new JackClient(std::move(opened->core)));
    return client;
}

JackClient::JackClient(std::shared_ptr<JackCore> core) : core_(std::move(core)) {
    const jack_nframes_t rate = core_->rate;
    if (rate > 0)
        cycle_ = std::chrono::microseconds(jack_get_buffer_size(core_->client) * 1000000LL / rate);
    reader_ = std::thread([this] { readInputs(); });
}

JackClient::~JackClient() {
    stopping_.store(true, std::memory_order_release);
    sem_post(&core_->inputReady);
    reader_.join();
    silence();
    if (!alive()) {
        // Given up: libjack's threads may still call into the core (see jack_backend.h). Kept
        // where the process can still reach it, as what it holds is not lost but left in use.
        static std::mutex keptMutex;
        static auto* kept = new std::vector<std::shared_ptr<JackCore>>;
        std::lock_guard lock(keptMutex);
        kept->push_back(core_);
        return;
    }
    // The closing thread keeps the core for as long as the server takes to answer.
    WithinDeadline(
        kCallLimit,
        [core = core_] {
            Close(*core);
            return true;
        },
        [](bool) {});
}

void JackClient::silence() {
    std::lock_guard lock(core_->notifyMutex);
    core_->changed = nullptr;
}

int JackClient::process(jack_nframes_t frames, void* me) {
    auto* core = static_cast<JackCore*>(me);
    core->output.carry(frames, jack_last_frame_time(core->client), core->rate);
    if (core->input.take(frames))
        sem_post(&core->inputReady);
    core->lastCycleAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
    core->cycles.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

void JackClient::shutdown(jack_status_t, const char*, void* me) {
    auto* core = static_cast<JackCore*>(me);
    core->alive.store(false, std::memory_order_release);
    core->notify();
}

bool JackClient::answering() const {
    const Clock::time_point last(
        Clock::duration(core_->lastCycleAt.load(std::memory_order_acquire)));
    return alive() && Clock::now() - last < std::chrono::milliseconds(500);
}

bool JackClient::outputReaches() {
    core_->checkOutputConnection();
    return core_->output.connected.load(std::memory_order_acquire);
}

void JackClient::awaitCycles(std::uint64_t count) const {
    const std::uint64_t until = cycles() + count;
    const auto deadline = Clock::now() + kLongestWait;
    const auto nap = std::max(cycle() / 4, std::chrono::microseconds(100));
    while (alive() && cycles() < until && Clock::now() < deadline)
        std::this_thread::sleep_for(nap);
}

bool JackClient::call(int (*request)(jack_client_t*, const char*, const char*),
                      const std::string& from, const std::string& to) {
    if (!alive())
        return false;
    const auto answered = WithinDeadline(
        kCallLimit,
        [core = core_, request, from, to] {
            return request(core->client, from.c_str(), to.c_str());
        },
        [](int) {});
    if (!answered) {
        std::fprintf(stderr, "rdn417: the JACK server did not answer within %d s\n",
                     static_cast<int>(kCallLimit.count()));
        return false;
    }
    return *answered == 0 || *answered == EEXIST;
}

bool JackClient::awaitConnection(jack_port_t* own, const std::string& other) const {
    const auto deadline = Clock::now() + kLongestWait;
    while (jack_port_connected_to(own, other.c_str()) == 0 && alive() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return jack_port_connected_to(own, other.c_str()) != 0;
}

bool JackClient::connectOutput(const std::string& target) {
    {
        std::lock_guard lock(core_->notifyMutex);
        core_->outputTarget = target;
        core_->outputFound = jack_port_connected_to(core_->output.port, target.c_str()) != 0;
    }
    if (!call(&jack_connect, jack_port_name(core_->output.port), target))
        return false;
    awaitConnection(core_->output.port, target);
    core_->checkOutputConnection();
    return core_->output.connected.load(std::memory_order_acquire);
}

bool JackClient::connectInput(const std::string& source) {
    {
        std::lock_guard lock(core_->notifyMutex);
        core_->inputSource = source;
        core_->inputFound = jack_port_connected_to(core_->input.port, source.c_str()) != 0;
    }
    if (!call(&jack_connect, source, jack_port_name(core_->input.port)))
        return false;
    return awaitConnection(core_->input.port, source);
}

void JackClient::disconnectOutput() {
    std::string target;
    {
        std::lock_guard lock(core_->notifyMutex);
        target = std::exchange(core_->outputTarget, {});
        core_->output.connected.store(false, std::memory_order_release);
        if (core_->outputFound)
            return;
    }
    if (!target.empty() && jack_port_connected_to(core_->output.port, target.c_str()) != 0)
        call(&jack_disconnect, jack_port_name(core_->output.port), target);
}

void JackClient::disconnectInput() {
    std::string source;
    {
        std::lock_guard lock(core_->notifyMutex);
        source = std::exchange(core_->inputSource, {});
        if (core_->inputFound)
            return;
    }
    if (!source.empty() && jack_port_connected_to(core_->input.port, source.c_str()) != 0)
        call(&jack_disconnect, source, jack_port_name(core_->input.port));
}

void JackClient::listen(std::shared_ptr<InputSink> sink) {
    core_->input.listening.store(false, std::memory_order_release);
    std::lock_guard lock(readerMutex_);
    // What the port took for an input that has closed goes nowhere.
    MessageRing::Header header{};
    while (core_->input.messages.peek(header))
        core_->input.messages.take(header, nullptr);
    core_->input.sink = std::move(sink);
    if (core_->input.sink)
        core_->input.listening.store(true, std::memory_order_release);
}

void JackClient::readInputs() {
    while (!stopping_.load(std::memory_order_acquire)) {
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += 100'000'000;
        if (until.tv_nsec >= 1'000'000'000) {
            until.tv_nsec -= 1'000'000'000;
            ++until.tv_sec;
        }
        if (sem_timedwait(&core_->inputReady, &until) != 0 && errno != ETIMEDOUT && errno != EINTR)
            continue;
        std::lock_guard lock(readerMutex_);
        if (core_->input.sink)
            core_->input.deliver();
    }
}

std::vector<std::string> JackClient::ports(unsigned long flags) const {
    std::vector<std::string> names;
    if (!alive())
        return names;
    const char** found = jack_get_ports(core_->client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (found == nullptr)
        return names;
    // The program is not its own peer, nor that of a second copy of it ("-01").
    for (const char** port = found; *port != nullptr; ++port) {
        if (std::string(*port).rfind(ProgramClientName(), 0) != 0)
            names.emplace_back(*port);
    }
    jack_free(found);
    return names;
}

}  // namespace platform::midi
