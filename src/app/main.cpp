// Sheaf: compresses many files in one batch, one archive per file or folder.
//
//   sheaf                     opens the window
//   sheaf --screenshot PATH   shows the window with a small demo list, saves
//                             a picture of it to PATH and exits (docs/)

#include "app/ui/frm_sheaf.h"
#include "base/ui/pictures.h"
#include "base/ui/translations.h"
#include "selection/ui/grid_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <iterator>

namespace {

void writeDemoFile(const QString &path, int size, const QDateTime &time)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QByteArray(size, 'x'));
        file.close();
        file.open(QIODevice::ReadWrite);
        file.setFileTime(time, QFileDevice::FileModificationTime);
    }
}

int screenshot(const QString &target)
{
    QTemporaryDir demo;
    const QString root = demo.path() + QStringLiteral("/書類");
    const QDateTime t(QDate(2024, 3, 15), QTime(9, 30));
    const char *files[]
        = {"議事録/2024-03 定例会議.TXT", "議事録/2024-04 定例会議.TXT", "報告書/月次報告.txt",
            "報告書/年次報告.TXT", "readme.txt", "memo/買い物メモ.txt", "memo/old/旧メモ.txt"};
    for (int n = 0; n < int(std::size(files)); ++n)
        writeDemoFile(
            root + QLatin1Char('/') + QString::fromUtf8(files[n]), 1000 + 4321 * n, t.addDays(n));

    sheaf::ui::FrmSheaf window(demo.path() + QStringLiteral("/kwSheaf.ini"));
    window.move(0, 0);
    window.txtSelect->setText(QDir::toNativeSeparators(root));
    window.txtOutput->setText(QDir::toNativeSeparators(root));
    window.chkSelect->setChecked(true);
    window.show();
    window.cmdSelect_Click();
    window.grdList->setCurrentCell(3, 1);
    window.grdList_DblClick();
    window.grdList->setCurrentCell(1, 0);
    window.grdList->setFocus();
    QApplication::processEvents();
    const bool saved = window.grab().save(target);
    window.close();
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sheaf"));
    QApplication::setWindowIcon(sheaf::ui::sheafIcon());
    QApplication::setDesktopFileName(QStringLiteral("sheaf"));
    sheaf::ui::installToolkitTranslations();

    const QStringList args = QApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
    if (at >= 0 && at + 1 < args.size())
        return screenshot(args[at + 1]);

    sheaf::ui::FrmSheaf window;
    window.show();
    return app.exec();
}
