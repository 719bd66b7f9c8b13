// The "Shading 3D" window as the main window sees it: the 3D window (CDialog3D) behind the
// View3DWindow interface, with its message boxes and file dialog going through the program's
// message interface and its "Loading ..." progress through the program's progress window.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "ui/app/secondary_windows.h"
#include "ui/view3d/view3d_host.h"

namespace velmor {

class CDialog3D;

// CView3DHost over Messages() and the progress window.
class CMessageView3DHost : public CView3DHost {
public:
    // `initialDir`: where the open dialog starts (the executable's directory); empty keeps
    // the directory the window asks for.
    explicit CMessageView3DHost(QString initialDir = QString())
        : m_initialDir(std::move(initialDir)) {}

    void Message(QWidget* parent, const QString& text) override;
    std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& defaultExtension,
                                        const QString& initialDir) override;
    void OpenProgress(QWidget* parent, const QString& title) override;
    void CloseProgress() override;

private:
    QString m_initialDir;
    QPointer<QWidget> m_previousParent;  // the progress parent before "Loading ..."
};

// "Name (*.a);;Other (*.b *.c)" -> "Name (*.a)|*.a|Other (*.b *.c)|*.b;*.c||": the filter
// form of the message interface from the one the 3D window writes.
QString PipeFileFilter(const QString& qtFilter);

class CShading3DWindow : public View3DWindow {
public:
    explicit CShading3DWindow(const QString& initialDir);
    ~CShading3DWindow() override;

    QWidget* Widget() override;
    void SetRay(const float ray[9], int rayState) override;
    void SetNoRay() override;
    void ReplaceModel(const CModel& model) override;
    void ResetForNewSurface() override;
    void Repaint() override;

    CDialog3D& Dialog() { return *m_dialog; }

private:
    CMessageView3DHost m_host;
    std::unique_ptr<CDialog3D> m_dialog;
};

}  // namespace velmor
