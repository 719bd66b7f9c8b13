// Keeps the script engine's Escape flag current. The executor tests the flag before every
// instruction and calls the poll at the start of every run; the key state itself comes from
// key events, which arrive whenever events are processed (the progress window pumps them
// during the long loops). A press counts until it is released, and for a short while after,
// so that a quick tap between two polls is not lost; a sampling pass that begins forgets the
// presses before it (CScriptEngine::BeginEscapePass), so a tap that closed a menu or cancelled
// a question aborts nothing.
#pragma once

#include <QObject>
#include <chrono>

namespace velmor {

struct EscapeHook;

class CEscapeKeyWatch : public QObject {
public:
    // Watches the application's key events and installs the poll into `hook`; both end with
    // this object.
    explicit CEscapeKeyWatch(EscapeHook& hook);
    ~CEscapeKeyWatch() override;

    // How long a press is still reported after the key went up.
    static constexpr std::chrono::milliseconds kLatch{300};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void Poll(EscapeHook* hook);
    static void Forget(EscapeHook* hook);

    EscapeHook& m_hook;
    bool m_down = false;
    bool m_latched = false;  // a press was seen since the last Forget
    std::chrono::steady_clock::time_point m_lastPress{};
};

}  // namespace velmor
