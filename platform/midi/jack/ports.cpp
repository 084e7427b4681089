// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace platform::midi {
namespace {

using Clock = std::chrono::steady_clock;

// How often the watcher lists the ports when the server has said nothing.
constexpr auto kWatchPeriod = std::chrono::milliseconds(200);
// No client is opened this soon after a server went away (see jack_backend.h).
constexpr auto kQuietAfterServer = std::chrono::seconds(2);
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

}  // namespace

MessageRing::MessageRing(std::size_t bytes) : ring_(jack_ringbuffer_create(bytes)) {
    if (ring_ == nullptr)
        throw std::bad_alloc();
    jack_ringbuffer_mlock(ring_);
}

MessageRing::~MessageRing() {
    jack_ringbuffer_free(ring_);
}

bool MessageRing::push(std::uint64_t ticket, std::span<const std::uint8_t> bytes) {
    const Header header{ticket, static_cast<std::uint32_t>(bytes.size())};
    if (jack_ringbuffer_write_space(ring_) < sizeof header + bytes.size())
        return false;
    // jack_ringbuffer_write publishes what it wrote at once, so the reader could see a header
    // before its body: both are copied into the free space first and published together.
    jack_ringbuffer_data_t free[2];
    jack_ringbuffer_get_write_vector(ring_, free);
    const auto put = [&](const void* from, std::size_t size, std::size_t at) {
        const auto* source = static_cast<const char*>(from);
        for (std::size_t done = 0; done < size;) {
            std::size_t offset = at + done;
            const int part = offset < free[0].len ? 0 : 1;
            if (part == 1)
                offset -= free[0].len;
            const std::size_t room = free[part].len - offset;
            const std::size_t now = std::min(room, size - done);
            std::memcpy(free[part].buf + offset, source + done, now);
            done += now;
        }
    };
    put(&header, sizeof header, 0);
    put(bytes.data(), bytes.size(), sizeof header);
    jack_ringbuffer_write_advance(ring_, sizeof header + bytes.size());
    return true;
}

bool MessageRing::peek(Header& header) const {
    if (jack_ringbuffer_read_space(ring_) < sizeof header)
        return false;
    jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&header), sizeof header);
    return jack_ringbuffer_read_space(ring_) >= sizeof header + header.size;
}

void MessageRing::take(const Header& header, std::uint8_t* to) {
    jack_ringbuffer_read_advance(ring_, sizeof header);
    if (to != nullptr)
        jack_ringbuffer_read(ring_, reinterpret_cast<char*>(to), header.size);
    else
        jack_ringbuffer_read_advance(ring_, header.size);
}

std::shared_ptr<JackClient> JackClient::open(const std::string& name, void (*changed)(void*),
                                             void* context) {
    SilenceLibjack();
    jack_status_t status{};
    jack_client_t* handle = jack_client_open(
        name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    // A server that refuses the name has a client of that name already (a second copy of the
    // program): JACK then gives this one a name of its own.
    if (handle == nullptr && !(status & JackServerFailed))
        handle = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (handle == nullptr)
        return nullptr;
    std::shared_ptr<JackClient> client(new JackClient);
    client->client_ = handle;
    client->changed_ = changed;
    client->context_ = context;
    const jack_nframes_t rate = jack_get_sample_rate(handle);
    if (rate > 0)
        client->cycle_ = std::chrono::microseconds(jack_get_buffer_size(handle) * 1000000LL / rate);
    sem_init(&client->inputReady_, 0, 0);
    JackClient* self = client.get();
    jack_set_process_callback(handle, &JackClient::process, self);
    jack_on_info_shutdown(handle, &JackClient::shutdown, self);
    jack_set_port_registration_callback(
        handle, [](jack_port_id_t, int, void* me) { static_cast<JackClient*>(me)->changed(); },
        self);
    jack_set_port_connect_callback(
        handle,
        [](jack_port_id_t, jack_port_id_t, int, void* me) {
            static_cast<JackClient*>(me)->changed();
        },
        self);
    jack_set_client_registration_callback(
        handle, [](const char*, int, void* me) { static_cast<JackClient*>(me)->changed(); }, self);
    client->reader_ = std::thread([self] { self->readInputs(); });
    if (jack_activate(handle) != 0)
        return nullptr;  // closed by its destructor: the server is there
    return client;
}

void JackClient::changed() {
    changed_(context_);
}

JackClient::~JackClient() {
    stopping_.store(true, std::memory_order_release);
    sem_post(&inputReady_);
    if (reader_.joinable())
        reader_.join();
    if (alive()) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    sem_destroy(&inputReady_);
}

int JackClient::process(jack_nframes_t frames, void* me) {
    auto* self = static_cast<JackClient*>(me);
    for (auto& slot : self->outputs_) {
        if (JackOutputSlot* output = slot.load(std::memory_order_acquire))
            output->carry(frames);
    }
    bool received = false;
    for (auto& slot : self->inputs_) {
        if (JackInputSlot* input = slot.load(std::memory_order_acquire))
            received = input->take(frames) || received;
    }
    if (received)
        sem_post(&self->inputReady_);
    self->cycles_.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

void JackClient::shutdown(jack_status_t, const char*, void* me) {
    auto* self = static_cast<JackClient*>(me);
    self->alive_.store(false, std::memory_order_release);
    self->changed();
}

void JackClient::awaitCycles(std::uint64_t count) const {
    const std::uint64_t until = cycles() + count;
    const auto deadline = Clock::now() + kLongestWait;
    const auto nap = std::max(cycle() / 4, std::chrono::microseconds(100));
    while (alive() && cycles() < until && Clock::now() < deadline)
        std::this_thread::sleep_for(nap);
}

template <typename Slot, std::size_t N>
int AttachTo(std::array<std::atomic<Slot*>, N>& slots, Slot* slot) {
    for (std::size_t i = 0; i < N; ++i) {
        Slot* none = nullptr;
        if (slots[i].compare_exchange_strong(none, slot, std::memory_order_acq_rel))
            return static_cast<int>(i);
    }
    return -1;
}

template <typename Slot, std::size_t N>
void DetachFrom(std::array<std::atomic<Slot*>, N>& slots, Slot* slot) {
    for (auto& held : slots) {
        Slot* expected = slot;
        held.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
}

int JackClient::attach(JackOutputSlot* slot) {
    return AttachTo(outputs_, slot);
}

int JackClient::attach(JackInputSlot* slot) {
    std::lock_guard lock(readerMutex_);
    return AttachTo(inputs_, slot);
}

void JackClient::detach(JackOutputSlot* slot) {
    DetachFrom(outputs_, slot);
    // A cycle that began before may still hold it.
    awaitCycles(2);
}

void JackClient::detach(JackInputSlot* slot) {
    {
        std::lock_guard lock(readerMutex_);
        DetachFrom(inputs_, slot);
    }
    awaitCycles(2);
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
        if (sem_timedwait(&inputReady_, &until) != 0 && errno != ETIMEDOUT && errno != EINTR)
            continue;
        std::lock_guard lock(readerMutex_);
        for (auto& slot : inputs_) {
            if (JackInputSlot* input = slot.load(std::memory_order_acquire))
                input->deliver();
        }
    }
}

std::vector<std::string> JackClient::ports(unsigned long flags) const {
    std::vector<std::string> names;
    if (!alive())
        return names;
    const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
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

jack_port_t* JackClient::addPort(const std::string& base, unsigned long flags) {
    jack_port_t* port = nullptr;
    for (std::size_t n = 1; port == nullptr && n <= kSlots; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
    }
    return port;
}

bool JackClient::connect(const std::string& from, const std::string& to, jack_port_t* own) const {
    const int connected = jack_connect(client_, from.c_str(), to.c_str());
    if (connected != 0 && connected != EEXIST)
        return false;
    const auto deadline = Clock::now() + kLongestWait;
    while (jack_port_connected(own) == 0 && alive() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return jack_port_connected(own) > 0;
}

JackBackend::JackBackend() : watcher_([this] { watch(); }) {}

JackBackend::~JackBackend() {
    {
        std::lock_guard lock(watchMutex_);
        stopping_ = true;
    }
    watchWake_.notify_one();
    watcher_.join();
    // Clients of servers that went away stay as they are for the rest of the process: libjack's
    // threads of a dead client may still call them (see jack_backend.h).
    for (auto& client : givenUp_)
        static_cast<void>(new std::shared_ptr<JackClient>(std::move(client)));
    if (client_ && !client_->alive())
        static_cast<void>(new std::shared_ptr<JackClient>(std::move(client_)));
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
        givenUp_.push_back(std::move(client_));
        quietUntil_ = Clock::now() + kQuietAfterServer;
    }
    if (Clock::now() < quietUntil_)
        return nullptr;
    client_ = JackClient::open(ProgramClientName(), &JackBackend::changed, this);
    if (!client_) {
        if (!std::exchange(saidNoServer_, true))
            std::fprintf(stderr,
                         "rdn417: no JACK server to connect to; its ports are listed once one "
                         "runs\n");
        return nullptr;
    }
    saidNoServer_ = false;
    return client_;
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
