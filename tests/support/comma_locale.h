// Switches the process to a locale with a decimal comma for the object's lifetime, made with
// localedef in a temporary directory when the machine has none installed.
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "temp_dir.h"

namespace velmor::test {

class CommaLocale {
public:
    CommaLocale() : m_previous(std::setlocale(LC_ALL, nullptr)) {
        if (Use()) return;
#ifdef _WIN32
        // Windows names its locales its own way and has them all.
        for (const char* name : {"German_Germany.1252", "deu"}) {
            if (Use(name)) return;
        }
#else
        std::system(
            ("localedef -i de_DE -f UTF-8 '" + m_dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1")
                .c_str());
        ::setenv("LOCPATH", m_dir.Path().c_str(), 1);
        Use();
#endif
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, m_previous.c_str());
#ifndef _WIN32
        ::unsetenv("LOCPATH");
#endif
    }
    // Whether a locale with a decimal comma is in use.
    bool Active() const {
        return m_active;
    }

private:
    bool Use(const char* name = "de_DE.UTF-8") {
        char text[16];
        return m_active = std::setlocale(LC_ALL, name) &&
                          std::snprintf(text, sizeof text, "%.1f", 1.5) > 0 &&
                          std::strcmp(text, "1,5") == 0;
    }

    TempDir m_dir;
    std::string m_previous;
    bool m_active = false;
};

}  // namespace velmor::test
