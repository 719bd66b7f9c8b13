#include "app/velmor_dlg.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>

namespace velmor {

CVelmorDlg::CVelmorDlg(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Velmor");
    menuBar()->addMenu("File");
    menuBar()->addMenu("View");
    menuBar()->addMenu("Window");
    setMinimumSize(620, 580);
}

void CVelmorDlg::closeEvent(QCloseEvent* event) {
    if (QMessageBox::question(this, "Velmor", "  Close ? ", QMessageBox::Ok | QMessageBox::Cancel) ==
        QMessageBox::Ok)
        event->accept();
    else
        event->ignore();
}

}  // namespace velmor
