// A JACK server of the tests' own on the dummy driver (no sound hardware), under a name of its
// own so that it never meets a user's server (RDN417_TEST_JACK_SERVER, else "rdn417-test");
// clients of this process find it through JACK_DEFAULT_SERVER. One test program at a time.
#pragma once

#include "child_process.h"

#include <memory>
#include <string>

class JackServer {
  public:
    // Empty reason when the server runs.
    JackServer();
    ~JackServer();

    const std::string& unavailable() const { return reason_; }

    // Kills the server as a crash would, and starts it again under the same name.
    void kill();
    bool start();

  private:
    std::string name_;
    std::unique_ptr<ChildProcess> jackd_;
    std::string reason_;
};
