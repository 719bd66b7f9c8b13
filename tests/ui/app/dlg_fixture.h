// A main window in a temporary directory of its own, with scripted message boxes, for the
// window tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QTest>
#include <QTimer>
#include <memory>

#include "scripted_message_ui.h"
#include "temp_dir.h"
#include "ui/app/velmor_dlg.h"
#include "ui/common/progress_dialog.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

// Records the titles (sorted) and owners of the progress windows shown while a command runs
// (they process events at their first report, so a zero timer sees them).
class ProgressTitles {
public:
    ProgressTitles() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (CProgressDialog* window = CurrentProgressWindow())
                m_owners.insert(window->windowTitle(), window->Owner());
        });
        m_timer.start(0);
    }
    QStringList Titles() const { return m_owners.keys(); }
    QWidget* OwnerOf(const QString& title) const { return m_owners.value(title); }

private:
    QTimer m_timer;
    QMap<QString, QWidget*> m_owners;
};

class DlgTest : public ::testing::Test {
protected:
    void TearDown() override { m_dlg.reset(); }

    CVelmorDlg& Open() {
        m_dlg = std::make_unique<CVelmorDlg>(VelmorDlgOptions{m_settingsPath});
        QApplication::processEvents();
        // The first paint has the surface map built right after it: wait for that.
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_dlg->Map().Built(); }, 60000));
        QApplication::processEvents();
        return *m_dlg;
    }
    void Close() { m_dlg.reset(); }

    // Types a field's text (pastes what the test keyboard cannot type).
    static void Type(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        bool ascii = true;
        for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(field, text);
        else
            field->insert(text);
    }
    void Click(int id) { QTest::mouseClick(m_dlg->Control(id), Qt::LeftButton); }
    // Whether the window placement went into the settings file.
    bool WindowSettingsWritten() const {
        return test::ReadFile(m_settingsPath).find("[WINDOW_MAIN]") != std::string::npos;
    }
    QString Text(int id) const { return m_dlg->Field(id)->text(); }
    // The point at fractions (f, g) across and down a plot area.
    static QPoint At(const QRect& area, double f, double g) {
        return QPoint(area.left() + int(f * area.width()), area.top() + int(g * area.height()));
    }
    // With VELMOR_SCREENSHOT_DIR set, saves the window's grab there as <name>_<w>x<h>.png, to
    // be looked at.
    static void SaveShot(QWidget& window, const QString& name) {
        const QString dir = qEnvironmentVariable("VELMOR_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            window.grab().save(QStringLiteral("%1/%2_%3x%4.png")
                                   .arg(dir, name)
                                   .arg(window.width())
                                   .arg(window.height()));
    }

    test::TempDir m_dir;
    const std::string m_settingsPath = m_dir.File("Velmor.ini");
    CScriptedMessageUi m_messages;
    std::unique_ptr<CVelmorDlg> m_dlg;
};

}  // namespace velmor
