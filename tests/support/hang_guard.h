// Tests of code that could block for ever (a named pipe opened for reading or writing waits for
// the other end): a guard ends the whole test program with a message after a time limit, so a
// regression fails instead of hanging the run.
#pragma once

#ifdef _WIN32
#include <io.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif
#include <cstdlib>
#include <cstring>
#include <string>

namespace velmor::test {

#ifdef _WIN32
// Windows has no alarm(): a thread waits out the time limit.
class HangGuard {
public:
    explicit HangGuard(const char* what, unsigned seconds = 20)
        : m_watch([this, what, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_over; })) {
                  return;
              }
              static const char kText[] = "\nHangGuard: blocked for ever: ";
              ::_write(2, kText, sizeof kText - 1);
              ::_write(2, what, static_cast<unsigned>(std::strlen(what)));
              ::_write(2, "\n", 1);
              std::_Exit(3);
          }) {}
    ~HangGuard() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_over = true;
        }
        m_done.notify_one();
        m_watch.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_watch;
};

// Windows keeps named pipes out of the file system: no file is one.
inline bool MakeFifo(const std::string&) {
    return false;
}
#else

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

#endif

}  // namespace velmor::test
