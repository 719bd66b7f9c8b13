// Test entry for the window tests: one QApplication for the whole run, created after the
// default surface format is set, as the program does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>
#include <cstring>

int main(int argc, char** argv) {
    // Listing the tests (ctest's discovery) opens no window, so it needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
