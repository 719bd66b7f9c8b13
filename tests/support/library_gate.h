// The gate of the gated surface library (tests/libs/gated_surface.c): a named pipe from which
// each of its sag requests takes one byte before it answers. The test lets the calls go one by
// one (Open), so what a test sees of a running request happens in the order it chooses, however
// slow or busy the machine is. The pipe is named in VELMOR_TEST_GATE while the gate lives: a
// helper started then finds it in its environment.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "temp_dir.h"

namespace velmor::test {

class LibraryGate {
public:
    LibraryGate() : m_path(m_dir.File("gate")) {
        // Read and write: opening does not wait for a reader, and the pipe's bytes can be taken
        // back (Drain).
        if (::mkfifo(m_path.c_str(), 0600) == 0) m_fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0) ADD_FAILURE() << "no gate pipe at " << m_path;
        ::setenv(kVariable, m_path.c_str(), 1);
    }
    // Closing the pipe lets every waiting and later request go.
    ~LibraryGate() {
        ::unsetenv(kVariable);
        if (m_fd >= 0) ::close(m_fd);
    }
    LibraryGate(const LibraryGate&) = delete;
    LibraryGate& operator=(const LibraryGate&) = delete;

    // Lets `calls` more sag requests answer.
    void Open(int calls = 1) {
        for (int i = 0; i < calls; ++i) {
            if (::write(m_fd, "x", 1) == 1) ++m_opened;
        }
    }
    // How many sag requests the gate has let go.
    int Opened() const { return m_opened; }
    // Takes back what no request took (a batch that stopped before the call it was let into);
    // returns how many.
    int Drain() {
        const int flags = ::fcntl(m_fd, F_GETFL);
        ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
        int taken = 0;
        char byte;
        while (::read(m_fd, &byte, 1) == 1) ++taken;
        ::fcntl(m_fd, F_SETFL, flags);
        m_opened -= taken;
        return taken;
    }

private:
    static constexpr const char* kVariable = "VELMOR_TEST_GATE";
    TempDir m_dir;
    std::string m_path;
    int m_fd = -1;
    int m_opened = 0;
};

}  // namespace velmor::test
