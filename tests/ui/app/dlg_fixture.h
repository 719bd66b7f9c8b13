// A main window in a temporary directory of its own, with scripted message boxes, for the
// window tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/scripted_message_ui.h"
#include "app/velmor_dlg.h"

namespace velmor {

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
