// What the program does while a surface library request waits for the helper process: the
// windows stay painted, and once the request has gone WAIT_MS without a finished library call
// the progress window says "Waiting for the surface library ..." (the one a loop has open, or a
// new one), whose Cancel then stops the library. A Cancel in a loop's progress window while a
// batch runs stops the batch after its row and leaves the waiting text up, so a second Cancel
// stops a library that does not come back.
#pragma once

#include <QPointer>

#include "core/host/guarded_library.h"
#include "ui/common/progress_dialog.h"

namespace velmor {

class CLibraryWaitWindow final : public LibraryWaitHook {
public:
    LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override;
    void OnLibraryWaitEnded() override;

private:
    void ShowWaiting(CProgressDialog* window);

    QPointer<CProgressDialog> m_window;
    bool m_opened = false;  // the waiting window is one of its own, closed when the wait ends
};

}  // namespace velmor
