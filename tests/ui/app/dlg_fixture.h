// A main window in a temporary directory of its own, with scripted message boxes, for the
// window tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/scripted_message_ui.h"
#include "app/velmor_dlg.h"
#include "plots/velmor_plot_views.h"
#include "view3d/progress_dialog.h"

namespace velmor {

// Records the titles of the progress windows that show while a command runs: the windows
// pump events on every report, so a zero timer looks at them.
class ProgressTitles {
public:
    ProgressTitles() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (CProgressDialog* window = CurrentProgressWindow()) {
                const QString title = window->windowTitle();
                if (!m_titles.contains(title)) {
                    m_titles << title;
                    m_owners << window->Owner();
                }
            }
        });
        m_timer.start(0);
    }
    const QStringList& Titles() const { return m_titles; }
    // The window each progress window was over (whose input it blocked).
    QWidget* OwnerOf(const QString& title) const {
        const qsizetype i = m_titles.indexOf(title);
        return i < 0 ? nullptr : m_owners[i];
    }

private:
    QTimer m_timer;
    QStringList m_titles;
    QList<QWidget*> m_owners;
};

class DlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsPath = m_dir.filePath(QStringLiteral("Velmor.ini"));
    }
    void TearDown() override { m_dlg.reset(); }

    CVelmorDlg& Open() {
        m_dlg = std::make_unique<CVelmorDlg>(
            VelmorDlgOptions{QFile::encodeName(m_settingsPath).toStdString(), m_dir.path()});
        QApplication::processEvents();
        // The first paint finds no surface map and has it built right after: let that happen
        // before the test begins.
        auto* views = dynamic_cast<CVelmorPlotViews*>(&m_dlg->Views());
        EXPECT_TRUE(QTest::qWaitFor([views] { return views == nullptr || views->Map().Built(); }));
        QApplication::processEvents();
        return *m_dlg;
    }
    void Close() { m_dlg.reset(); }

    // Replaces a field's text as the user would type it (or paste it, for text the test
    // keyboard cannot type).
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
    // Whether the window placement went into the settings file (the record tables register
    // their column profiles there on their own).
    bool WindowSettingsWritten() const {
        QFile file(m_settingsPath);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("[WINDOW_MAIN]");
    }
    QString Text(int id) const { return m_dlg->Field(id)->text(); }

    // The centre of a plot area, and a point at fractions (f, g) across and down it.
    static QPoint At(const QRect& area, double f, double g) {
        return QPoint(area.left() + int(f * area.width()), area.top() + int(g * area.height()));
    }

    QTemporaryDir m_dir;
    QString m_settingsPath;
    CScriptedMessageUi m_messages;
    std::unique_ptr<CVelmorDlg> m_dlg;
};

}  // namespace velmor
