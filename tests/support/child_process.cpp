// SPDX-License-Identifier: GPL-3.0-or-later
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

// The output goes to a temporary file, not a pipe: a program whose output is read only now and
// then (a JACK server printing each xrun on a busy machine) would block once a pipe is full,
// and with it everything that waits for it. The file has no name once both ends are open.
ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    std::string path = (std::filesystem::temp_directory_path() / "rdn417-output-XXXXXX").string();
    const int writeEnd = mkostemp(path.data(), O_CLOEXEC);
    if (writeEnd < 0)
        return;
    out_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    unlink(path.c_str());
    if (out_ < 0) {
        close(writeEnd);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
#ifdef __linux__
        // Ends with the tests even when they are killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
        dup2(writeEnd, STDOUT_FILENO);
        dup2(writeEnd, STDERR_FILENO);
        close(writeEnd);
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(writeEnd);
}

ChildProcess::~ChildProcess() {
    stop();
    if (out_ >= 0)
        close(out_);
}

bool ChildProcess::running() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

const std::string& ChildProcess::output() {
    char buffer[4096];
    ssize_t n;
    while (out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0)
        output_.append(buffer, static_cast<std::size_t>(n));
    return output_;
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int ChildProcess::exitCode(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            output();
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() > deadline)
            break;
        output();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return -1;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0)
        ::kill(pid_, number);
}

void ChildProcess::kill() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void ChildProcess::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill();
}

bool ChildProcess::installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path == nullptr ? "/usr/bin:/bin" : path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}
