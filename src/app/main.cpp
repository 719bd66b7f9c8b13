// Velmor start-up: the command line, the single instance and the main window.
#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/app/app_paths.h"
#include "core/app/session_file.h"
#include "core/app/single_instance.h"
#include "ui/app/velmor_dlg.h"

namespace {

constexpr char kUsage[] =
    R"(Usage: velmor [FILE]
       velmor --help | --version

Velmor, the workbench for user-defined optical surfaces. FILE is opened by its kind:
  a surface library (a Linux .so or a Windows .dll, known by its content) as "Open DLL ..."
  opens it; a session (.ini) as "Load INI ..." loads it; a 3D model (.stl, .obj) in the
  "Shading 3D" window; any other text file as the Interpreter's source (not switched on).
Without FILE the last session is reopened when File > "Reopen Last Session at Start" is
checked. When Velmor already runs for this user, FILE is handed to it (without FILE its main
window is raised) and this start ends.
)";
constexpr char kVersion[] = "Velmor 1.0\n";

// "" for none; exit status 0 after --help / --version, 2 after a bad command line, -1 to go on.
int ParseArguments(int argc, char** argv, std::string* file) {
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (!endOfOptions && std::strcmp(word, "--") == 0) {
            endOfOptions = true;
        } else if (!endOfOptions &&
                   (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!endOfOptions && std::strcmp(word, "--version") == 0) {
            std::fputs(kVersion, stdout);
            return 0;
        } else if (!endOfOptions && word[0] == '-' && word[1] != '\0') {
            std::fprintf(stderr, "velmor: unknown option %s (see --help)\n", word);
            return 2;
        } else if (!file->empty()) {
            std::fprintf(stderr, "velmor: one FILE at most (see --help)\n");
            return 2;
        } else {
            *file = word;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    if (const int status = ParseArguments(argc, argv, &file); status >= 0) return status;
    // The file as this start's directory names it: the running copy has another one.
    if (!file.empty()) file = velmor::AbsoluteFilePath(file);

    // One copy per user: a second start hands its file to the running one (which raises its
    // window) and ends, before anything shows.
    if (!velmor::AcquireSingleInstance()) {
        std::string reason;
        if (velmor::HandToRunningCopy(file, &reason)) return 0;
        std::fprintf(stderr, "velmor: Velmor already runs for this user, and %s\n", reason.c_str());
        return 1;
    }
    const int channel = velmor::ListenForSecondStarts();
    // The executable's directory (where the file dialogs start) and the settings path, worked
    // out once for the whole run.
    const velmor::AppPaths& paths = velmor::ApplicationPaths();

    // The 3D window draws with the fixed-function pipeline: ask for a compatibility context
    // before the application object exists.
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    // Qt takes no options of ours: it sees the program's name only.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    // The main window shows itself and the secondary windows where the settings put them;
    // the program ends when closing it is confirmed.
    velmor::VelmorDlgOptions options;
    options.settingsPath = paths.settingsPath;
    options.lastSessionPath = paths.lastSessionPath;
    options.startFile = QFile::decodeName(file.c_str());
    velmor::CVelmorDlg dlg(options);
    QObject::connect(&dlg, &velmor::CVelmorDlg::Closed, &app, &QApplication::quit);

    // Files of later starts.
    if (channel >= 0) {
        auto* notifier = new QSocketNotifier(channel, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &dlg, [&dlg, channel] {
            std::string argument;
            if (!velmor::ReceiveSecondStart(channel, &argument)) return;
            dlg.RaiseMainWindow();
            if (!argument.empty()) dlg.OpenFile(QFile::decodeName(argument.c_str()));
        });
    }
    return app.exec();
}
