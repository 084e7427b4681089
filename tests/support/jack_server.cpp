#include "jack_server.h"

#include <cstdlib>

JackServer::JackServer() {
    if (!ChildProcess::installed("jackd")) {
        reason_ = "jackd is not installed (Debian package jackd2)";
        return;
    }
    // A server that is killed (or outlives a crashed test) stays in libjack's table of servers,
    // which holds eight, until one of the same name starts again: the names are fixed so that
    // the next run takes the place back.
    const char* chosen = std::getenv("RDN417_TEST_JACK_SERVER");
    name_ = chosen != nullptr ? chosen : "rdn417-test";
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    start();
}

bool JackServer::start() {
    jackd_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"});
    // jack_wait returns once the server takes clients.
    ChildProcess wait({"jack_wait", "-w", "-t", "10"});
    if (!wait.waitForOutput("server is available", std::chrono::seconds(12)) || !jackd_->running())
        reason_ = "jackd did not start: " + jackd_->output();
    return reason_.empty();
}

void JackServer::kill() {
    if (jackd_)
        jackd_->kill();
}

JackServer::~JackServer() {
    if (jackd_)
        jackd_->stop();
}
