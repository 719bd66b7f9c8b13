#include "ui/app/escape_key_watch.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "core/interp/script_engine.h"

namespace velmor {

CEscapeKeyWatch::CEscapeKeyWatch(EscapeHook& hook) : m_hook(hook) {
    m_hook.context = this;
    m_hook.poll = &CEscapeKeyWatch::Poll;
    m_hook.forget = &CEscapeKeyWatch::Forget;
    m_hook.pressed = false;
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

CEscapeKeyWatch::~CEscapeKeyWatch() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
    if (m_hook.context == this) {
        m_hook.poll = nullptr;
        m_hook.forget = nullptr;
        m_hook.context = nullptr;
        m_hook.pressed = false;
    }
}

bool CEscapeKeyWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
            m_down = event->type() == QEvent::KeyPress;
            if (m_down) {
                m_lastPress = std::chrono::steady_clock::now();
                m_latched = true;
                m_hook.pressed = true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void CEscapeKeyWatch::Poll(EscapeHook* hook) {
    auto* watch = static_cast<CEscapeKeyWatch*>(hook->context);
    if (!watch) return;
    hook->pressed =
        watch->m_down ||
        (watch->m_latched && std::chrono::steady_clock::now() - watch->m_lastPress < kLatch);
}

void CEscapeKeyWatch::Forget(EscapeHook* hook) {
    auto* watch = static_cast<CEscapeKeyWatch*>(hook->context);
    if (!watch) return;
    // A key still held from before the pass counts no more either; its release changes nothing.
    watch->m_down = false;
    watch->m_latched = false;
    hook->pressed = false;
}

}  // namespace velmor
