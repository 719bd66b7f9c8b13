// Velmor start-up.
#include <QApplication>
#include <QSurfaceFormat>

#include "core/app/app_paths.h"
#include "core/app/single_instance.h"
#include "ui/app/velmor_dlg.h"

int main(int argc, char** argv) {
    // One copy per user: a second copy ends at once, silently, before anything shows.
    if (!velmor::AcquireSingleInstance()) return 0;
    // The executable's directory (where the file dialogs start) and the settings path, worked
    // out once for the whole run.
    const velmor::AppPaths& paths = velmor::ApplicationPaths();

    // The 3D window draws with the fixed-function pipeline: ask for a compatibility context
    // before the application object exists.
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    // The main window shows itself and the secondary windows where the settings put them;
    // the program ends when closing it is confirmed.
    velmor::CVelmorDlg dlg({paths.settingsPath});
    QObject::connect(&dlg, &velmor::CVelmorDlg::Closed, &app, &QApplication::quit);
    return app.exec();
}
