// The main window.
#pragma once

#include <QMainWindow>

namespace velmor {

class CVelmorDlg : public QMainWindow {
    Q_OBJECT
public:
    explicit CVelmorDlg(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace velmor
