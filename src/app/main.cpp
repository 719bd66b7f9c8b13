// Velmor start-up.
#include <QApplication>
#include <QSurfaceFormat>

#include "app/app_paths.h"
#include "app/single_instance.h"
#include "app/velmor_dlg.h"

int main(int argc, char** argv) {
    // One copy per user: a second copy ends at once, silently, before anything shows.
    if (!velmor::AcquireSingleInstance()) return 0;
    // The executable's directory and the settings path, worked out once for the whole run.
    velmor::ApplicationPaths();

    // The 3D window draws with the fixed-function pipeline: ask for a compatibility context
    // before the application object exists.
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    velmor::CVelmorDlg dlg;
    dlg.show();
    return app.exec();
}
