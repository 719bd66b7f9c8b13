// Velmor start-up.
#include <QApplication>
#include <QSurfaceFormat>

#include "app/velmor_dlg.h"

int main(int argc, char** argv) {
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
