#include "jack_server.h"

#include <unistd.h>
#include <cstdlib>

JackServer::JackServer() {
    if (!ChildProcess::installed("jackd")) {
        reason_ = "jackd is not installed (Debian package jackd2)";
        return;
    }
    const std::string name = "rdn417-test-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jackd_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"});
    // jack_wait returns once the server takes clients.
    ChildProcess wait({"jack_wait", "-w", "-t", "10"});
    if (!wait.waitForOutput("server is available", std::chrono::seconds(12)) || !jackd_->running())
        reason_ = "jackd did not start: " + jackd_->output();
}

JackServer::~JackServer() {
    if (jackd_)
        jackd_->stop();
}
