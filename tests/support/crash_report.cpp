// SPDX-License-Identifier: GPL-3.0-or-later
// Every test and benchmark program says why it ended abnormally, so that the test command's log
// keeps it: an exception that nothing caught (on any thread) is named with its message, and an
// abort or a crash leaves a backtrace on standard error. Installed before main runs. Sanitizer
// builds keep their own reports and get the exception's message only.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <typeinfo>

#if __has_include(<execinfo.h>) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#include <execinfo.h>
#include <unistd.h>
#define RDN417_BACKTRACE 1
#endif

namespace {

[[noreturn]] void SayWhyTerminated() {
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "terminate: an exception that nothing caught (%s): %s\n",
                         typeid(error).name(), error.what());
        } catch (...) {
            std::fputs("terminate: an exception of an unknown type that nothing caught\n", stderr);
        }
    } else {
        std::fputs("terminate: called without an exception\n", stderr);
    }
    std::fflush(stderr);
    std::abort();
}

#ifdef RDN417_BACKTRACE
// Async-signal-safe: write(2), backtrace_symbols_fd, and libgcc's unwinder loaded at start.
extern "C" void SayWhereAndEnd(int number) {
    const char* name = number == SIGABRT   ? "SIGABRT (an abort)"
                       : number == SIGSEGV ? "SIGSEGV (a bad memory access)"
                       : number == SIGBUS  ? "SIGBUS (a bad memory access)"
                       : number == SIGFPE  ? "SIGFPE (an arithmetic fault)"
                                           : "SIGILL (an illegal instruction)";
    const char* lead = "\nThe program ends on ";
    [[maybe_unused]] ssize_t ignored = write(STDERR_FILENO, lead, std::strlen(lead));
    ignored = write(STDERR_FILENO, name, std::strlen(name));
    ignored = write(STDERR_FILENO, ". Backtrace:\n", 13);
    void* frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), STDERR_FILENO);
    std::signal(number, SIG_DFL);
    std::raise(number);
}
#endif

const bool installed = [] {
    std::set_terminate(SayWhyTerminated);
#ifdef RDN417_BACKTRACE
    void* first[1];
    backtrace(first, 1);
    for (const int number : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(number, SayWhereAndEnd);
#endif
    return true;
}();

}  // namespace
