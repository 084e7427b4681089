// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_server.h"

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

// The lock files live where JACK keeps its table of servers, so they are shared by exactly the
// programs that share that table.
std::filesystem::path LockFolder() {
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
}

}  // namespace

JackServer::JackServer(int frames) : frames_(std::to_string(frames)) {
    if (!ChildProcess::installed("jackd")) {
        reason_ = "jackd is not installed (Debian package jackd2)";
        return;
    }
    if (!claimName())
        return;
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    // JACK binds an opening client's socket by the client's name alone, whatever the server:
    // the program's clients take a name as much of their own as the server's.
    setenv("RDN417_CLIENT_NAME", ("RDN417 Config" + suffix()).c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    start();
}

// libjack's table of servers holds eight, and the entry of a server that was killed (or outlived
// a crashed test) is only taken back when a server of the same name starts. So the test servers
// share a few fixed names, each held through a lock file for as long as its server object lives:
// killed servers never fill the table, and two programs never pick the same name. The lock goes
// with the process, however it ends.
bool JackServer::claimName() {
    const auto deadline = std::chrono::steady_clock::now() + kNameLimit;
    for (;;) {
        for (int slot = 1; slot <= kNames; ++slot) {
            const std::string name = "rdn417-test-" + std::to_string(slot);
            const auto lock = LockFolder() / (name + ".lock");
            const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) {
                reason_ = "cannot open " + lock.string() + " to claim a JACK server name";
                return false;
            }
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                name_ = name;
                nameLock_ = fd;
                return true;
            }
            close(fd);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            reason_ = "every JACK test server name (rdn417-test-1 to rdn417-test-" +
                      std::to_string(kNames) + ") stayed in use by other test programs for " +
                      std::to_string(kNameLimit.count()) + " s";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

bool JackServer::start() {
    reason_.clear();
    jackd_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", frames_});
    // jack_wait returns once the server takes clients.
    ChildProcess wait({"jack_wait", "-n", "rdn417-wait" + suffix(), "-w", "-t", "10"});
    if (!wait.waitForOutput("server is available", std::chrono::seconds(12)) || !jackd_->running())
        reason_ = "jackd -n " + name_ + " did not start within 12 s: " + jackd_->output();
    return reason_.empty();
}

void JackServer::kill() {
    if (jackd_)
        jackd_->kill();
}

void JackServer::freeze() {
    if (jackd_)
        jackd_->signal(SIGSTOP);
}

void JackServer::thaw() {
    if (jackd_)
        jackd_->signal(SIGCONT);
}

JackServer::~JackServer() {
    if (jackd_)
        jackd_->stop();
    if (nameLock_ >= 0)
        close(nameLock_);
}
