// Message boxes and file dialogs of the 3D window go through this interface, so that tests can
// answer them and read their texts. The program uses CQtUserDialogs.
#pragma once

#include <QString>

class QWidget;

namespace velmor {

class CUserDialogs {
public:
    virtual ~CUserDialogs() = default;
    // A plain message box with an OK button.
    virtual void Message(QWidget* owner, const QString& text) = 0;
    // An open-file dialog for an existing file; an empty result means Cancel. `filter` holds
    // the file types separated by ";;", the first one selected.
    virtual QString OpenFileName(QWidget* owner, const QString& title, const QString& filter,
                                 const QString& defaultSuffix, const QString& directory) = 0;
};

class CQtUserDialogs : public CUserDialogs {
public:
    void Message(QWidget* owner, const QString& text) override;
    QString OpenFileName(QWidget* owner, const QString& title, const QString& filter,
                         const QString& defaultSuffix, const QString& directory) override;
};

}  // namespace velmor
