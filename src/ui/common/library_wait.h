// What the program does while a surface library request waits for the helper process: the
// windows stay painted, and once the request has gone WAIT_MS without a finished library call
// the progress window says "Waiting for the surface library ..." (the one a loop has open, or a
// new one), whose Cancel then stops the library. A Cancel in a loop's progress window while a
// batch runs stops the batch after its row and leaves the waiting text up, so a second Cancel
// stops a library that does not come back.
//
// A sampling pass of many quick calls (a map, the views' sections, a mesh of a library whose
// every call takes a few milliseconds) keeps no single request waiting, yet may take minutes:
// once a pass has run WAIT_MS the waiting window opens as well (when no loop has a progress
// window open), its bar following the batch's rows. Its Cancel while calls still finish ends
// the pass instead of stopping the library: the batch stops after its row, every later sample
// of the pass is left untaken (PassCancelled), and the library stays loaded.
#pragma once

#include <QPointer>
#include <chrono>

#include "core/host/guarded_library.h"
#include "ui/common/progress_dialog.h"

namespace velmor {

class CLibraryWaitWindow final : public LibraryWaitHook {
public:
    LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override;
    void OnLibraryWaitEnded() override;

    // WAIT_MS of the settings (for passes; a single request is told by the library).
    void SetWaitMs(int waitMs) { m_waitMs = waitMs; }
    // A sampling pass begins or ends; passes nest, and the outermost one counts. The end takes
    // down a waiting window the pass opened.
    void BeginPass();
    void EndPass();
    // The pass under way was cancelled: it takes no more samples.
    bool PassCancelled() const { return m_passDepth > 0 && m_passCancelled; }

private:
    void ShowWaiting(CProgressDialog* window);
    bool PassIsLong() const;

    QPointer<CProgressDialog> m_window;
    bool m_opened = false;  // the waiting window is one of its own, closed when the wait ends
    int m_waitMs = 2000;
    int m_passDepth = 0;
    std::chrono::steady_clock::time_point m_passStart{};
    bool m_passCancelled = false;
    bool m_passWindow = false;  // the window of its own is the long pass's, kept till its end
};

}  // namespace velmor
