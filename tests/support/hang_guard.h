// Tests of code that could block for ever (a named pipe opened for reading or writing waits for
// the other end): a guard ends the whole test program with a message after a time limit, so a
// regression fails instead of hanging the run.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

namespace velmor::test {

class HangGuard {
public:
    explicit HangGuard(const char* what, unsigned seconds = 20) {
        s_what = what;
        std::signal(SIGALRM, &HangGuard::Expired);
        ::alarm(seconds);
    }
    ~HangGuard() {
        ::alarm(0);
        std::signal(SIGALRM, SIG_DFL);
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    static void Expired(int) {
        static const char kText[] = "\nHangGuard: blocked for ever: ";
        (void)!::write(2, kText, sizeof kText - 1);
        (void)!::write(2, s_what, std::strlen(s_what));
        (void)!::write(2, "\n", 1);
        ::_exit(3);
    }
    static inline const char* s_what = "";
};

// A named pipe at `path` that nobody opens from the other end.
inline bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

}  // namespace velmor::test
