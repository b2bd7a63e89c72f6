#pragma once
// frmFolder, the folder picker: a drive list, a directory list and OK and
// Cancel. It is not modal, and OK and Cancel only hide it, so it keeps its
// folder between openings. OK hands the folder open in the directory list
// (not a highlighted entry) to whoever listens.

#include <QStringList>
#include <QWidget>

class QComboBox;
class QKeyEvent;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace sheaf::ui {

class FrmFolder : public QWidget
{
    Q_OBJECT
public:
    explicit FrmFolder(QWidget *parent = nullptr);

    QComboBox *drvList;
    QListWidget *dirList;
    QPushButton *cmdOk, *cmdNo;

    // The folder open in the directory list.
    QString path() const { return m_path; }
    // Opens `folder` in the directory list. False, with the list unchanged,
    // when it cannot be listed; errorNumber/errorText then say why.
    bool setPath(const QString &folder, int *errorNumber = nullptr, QString *errorText = nullptr);
    // Shown without modality, in front and active.
    void showPicker();

    void cmdOk_Click();
    void cmdNo_Click();
    void drvList_Change();

signals:
    void folderChosen(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override; // Esc cancels

private:
    void fillDrives();
    void selectDriveOf(const QString &folder);
    void openItem(QListWidgetItem *item);

    QStringList m_volumes;
    QString m_path;
};

} // namespace sheaf::ui
