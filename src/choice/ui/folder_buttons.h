#pragma once
// The two folder buttons and the folder picker: a button opens the picker
// (made on first use, then only shown and hidden, so that it keeps its
// folder), and the picker's answer goes to the field of the latest opening.

#include <QObject>
#include <QString>

class QLineEdit;
class QPushButton;

namespace sheaf::ui {

class FrmFolder;

class FolderButtons : public QObject
{
    Q_OBJECT
public:
    FolderButtons(QPushButton *cmdSelinp, QLineEdit *txtSelect, QPushButton *cmdOutinp,
        QLineEdit *txtOutput, QObject *parent = nullptr);
    ~FolderButtons() override;

    // The field that the picker fills: "txtSelect" or "txtOutput".
    QString CallBack;
    FrmFolder *picker() const { return m_folder; }

    void cmdSelinp_Click();
    void cmdOutinp_Click();
    // Closes the picker for good (the window unloads).
    void closePicker();

private:
    void openPicker(const QString &target);
    void folderChosen(const QString &path);

    QLineEdit *m_txtSelect, *m_txtOutput;
    FrmFolder *m_folder = nullptr;
};

} // namespace sheaf::ui
