// Sheaf: compresses many files in one batch, one archive per file or folder.
//
//   sheaf [FOLDER]            opens the window, on FOLDER as the selection
//                             folder when given (a file: its folder)
//   sheaf --each [-a lzh|zip|cab] [-o DIR] [-w] [-j N] ITEM...
//                             one archive per item, in a small progress
//                             window (app/ui/each_window.h)
//   sheaf --help | --version
//   sheaf --screenshot PATH   shows the window with a small demo list, saves
//                             a picture of it to PATH and exits (docs/)
//
// With SHEAF_REPORT_FOLDERS=1 in the environment the window, once shown,
// prints its selection folder, output folder and settings file on one line
// (tabs between) and quits without saving the settings: the tests open it
// this way from the desktop entries' command lines.

#include "app/settings_file.h"
#include "app/start_arguments.h"
#include "app/ui/each_window.h"
#include "app/ui/frm_sheaf.h"
#include "base/ui/pictures.h"
#include "base/ui/translations.h"
#include "selection/name_text.h"
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
#include <cstdio>
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

void put(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int main(int argc, char *argv[])
{
    using Action = sheaf::StartArguments::Action;
    // --help and --version answer without a display: before QApplication.
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i)
        rawArgs << sheaf::nameFromBytes(argv[i]);
    const Action early = sheaf::parseStartArguments(rawArgs).action;
    if (early == Action::Help) {
        put(stdout, sheaf::startHelpText());
        return 0;
    }
    if (early == Action::Version) {
        std::puts("sheaf " SHEAF_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sheaf"));
    QApplication::setApplicationVersion(QStringLiteral(SHEAF_VERSION));
    QApplication::setWindowIcon(sheaf::ui::sheafIcon());
    QApplication::setDesktopFileName(QStringLiteral("sheaf"));
    sheaf::ui::installToolkitTranslations();

    // Qt's own options (-platform and the like) are gone from argv now; the
    // rest keep their bytes (arguments() would turn a folder name that is
    // not UTF-8 into a look-alike).
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << sheaf::nameFromBytes(argv[i]);
    if (args.value(1) == QLatin1String("--each"))
        return sheaf::ui::runEachWindow(args.mid(2));
    const sheaf::StartArguments start = sheaf::parseStartArguments(args);
    if (start.action == Action::Error) {
        put(stderr, QStringLiteral("sheaf: ") + start.error + QStringLiteral(" (sheaf --help)\n"));
        return 2;
    }
    if (start.action == Action::Screenshot)
        return screenshot(start.screenshotPath);

    sheaf::ui::FrmSheaf window;
    if (!start.folder.isEmpty())
        window.txtSelect->setText(start.folder);
    window.show();
    if (qEnvironmentVariableIntValue("SHEAF_REPORT_FOLDERS") == 1) {
        QApplication::processEvents();
        put(stdout,
            window.txtSelect->text() + u'\t' + window.txtOutput->text() + u'\t'
                + sheaf::settingsPath() + u'\n');
        return window.isVisible() ? 0 : 1;
    }
    return app.exec();
}
