// Sheaf: compresses many files in one batch, one archive per file or folder.
//
//   sheaf [FOLDER]...         opens the window, on FOLDER as the selection
//                             folder when given (a file: its folder); one
//                             window per folder, at most MaxWindows
//   sheaf --each [-a lzh|zip|cab] [-o DIR] [-w] [-j N] ITEM...
//                             one archive per item, in a small progress
//                             window (app/ui/each_window.h)
//   sheaf --help | --version
//   sheaf --screenshot PATH   shows the window with a small demo list, saves
//                             a picture of it to PATH and exits (docs/)
//
// With SHEAF_REPORT_FOLDERS=1 in the environment each window, once shown,
// prints its selection folder, output folder, settings file ("-" when it
// does not write one) and place on one line (tabs between), and the program
// quits without saving the settings: the tests open it this way from the
// desktop entries' command lines.

#include "app/settings_file.h"
#include "app/start_arguments.h"
#include "app/ui/each_window.h"
#include "app/ui/frm_sheaf.h"
#include "base/ui/message_box.h"
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
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

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

// Qt ends the process (SIGABRT, with English advice to reinstall) when no
// platform plugin can start. Without a display named it is not tried; when
// the display named cannot be reached, its fatal message is replaced.
[[noreturn]] void noDisplay()
{
    put(stderr,
        QStringLiteral("sheaf: ウィンドウを開く画面がありません（X または Wayland の画面が"
                       "必要です）。\n画面がなくても sheaf-batch で一括圧縮できます"
                       "（sheaf-batch --help）。\n"));
    std::fflush(stderr);
    std::_Exit(2);
}

bool displayNamed(int argc, char *argv[])
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    }
    return false;
}

void startUpMessages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    // The toolkit's own lines about the display stay unsaid; ours follows.
    if (type == QtFatalMsg)
        noDisplay();
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

    if (!displayNamed(argc, argv))
        noDisplay();
    const QtMessageHandler usual = qInstallMessageHandler(startUpMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
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

    // One window per folder, placed in a cascade so that none hides
    // another; only the first writes the settings file.
    const QStringList opened = start.folders.mid(0, sheaf::MaxWindows);
    std::vector<std::unique_ptr<sheaf::ui::FrmSheaf>> windows;
    for (qsizetype i = 0; i < std::max<qsizetype>(1, opened.size()); ++i) {
        auto window = std::make_unique<sheaf::ui::FrmSheaf>();
        window->setSettingsSaved(i == 0);
        if (i < opened.size())
            window->txtSelect->setText(opened[i]);
        windows.push_back(std::move(window));
    }
    if (windows.size() > 1) {
        const sheaf::ui::FrmSheaf &first = *windows.front();
        QList<QRect> screens;
        for (const QScreen *screen : QGuiApplication::screens())
            screens << screen->availableGeometry();
        const int border = sheaf::ui::FrmSheaf::AssumedFrameWidth;
        const QRect frame(first.pos(), first.size() + QSize(border, border + 23)); // title bar
        const QList<QPoint> places = sheaf::cascadeOnScreens(frame, int(windows.size()), screens);
        for (size_t i = 0; i < windows.size(); ++i)
            windows[i]->move(places[qsizetype(i)]);
    }
    for (const auto &window : windows)
        window->show();
    const QString notOpened = start.folders.size() > opened.size()
        ? sheaf::foldersNotOpenedText(start.folders.mid(sheaf::MaxWindows))
        : QString();
    if (qEnvironmentVariableIntValue("SHEAF_REPORT_FOLDERS") == 1) {
        QApplication::processEvents();
        for (const auto &window : windows) {
            put(stdout,
                window->txtSelect->text() + u'\t' + window->txtOutput->text() + u'\t'
                    + (window->settingsSaved() ? sheaf::settingsPath() : QStringLiteral("-"))
                    + QStringLiteral("\t%1,%2\n").arg(window->x()).arg(window->y()));
        }
        if (!notOpened.isEmpty())
            put(stderr, QString(notOpened).replace(u'\r', u'\n') + u'\n');
        return windows.front()->isVisible() ? 0 : 1;
    }
    if (!notOpened.isEmpty()) {
        sheaf::ui::showMessage(windows.front().get(),
            {QStringLiteral("kwSheaf"), notOpened, QString(), QMessageBox::NoIcon});
    }
    return app.exec();
}
