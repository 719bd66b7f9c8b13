// What the 3D window opens around itself: message boxes, the open-file dialog and the
// "Loading ..." progress window. All of it goes through this interface, so that tests can
// answer the dialogs and read their texts. The program uses CQtView3DHost.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace velmor {

class CView3DHost {
public:
    virtual ~CView3DHost() = default;
    // A plain message box with an OK button.
    virtual void Message(QWidget* parent, const QString& text) = 0;
    // An open-file dialog for an existing file; nothing when cancelled. `filter` holds the
    // file types separated by ";;", the first one selected.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                                const QString& filter,
                                                const QString& defaultExtension,
                                                const QString& initialDir) = 0;
    // The progress window of a long loop (it answers ReportProgress while open), replacing
    // any open one; closed again by CloseProgress.
    virtual void OpenProgress(QWidget* parent, const QString& title) = 0;
    virtual void CloseProgress() = 0;
};

// QMessageBox and QFileDialog. It shows no progress window of its own: the program's progress
// window is installed by overriding OpenProgress and CloseProgress.
class CQtView3DHost : public CView3DHost {
public:
    void Message(QWidget* parent, const QString& text) override;
    std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& defaultExtension,
                                        const QString& initialDir) override;
    void OpenProgress(QWidget*, const QString&) override {}
    void CloseProgress() override {}
};

}  // namespace velmor
