// The logic behind the folder picker's drive list and directory list.

#include "choice/folder_lists.h"
#include "selection/name_text.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <filesystem>

using namespace sheaf;

class TestFolderLists : public QObject
{
    Q_OBJECT

private slots:
    void volumes()
    {
        const QStringList volumes = mountedVolumes();
        QVERIFY(!volumes.isEmpty());
        QCOMPARE(volumes.first(), QStringLiteral("/"));
        QCOMPARE(volumes.count(QStringLiteral("/")), 1);
        for (const QString &v : volumes)
            QVERIFY2(QFileInfo(v).isDir(), qPrintable(v));
    }

    void volumeOfPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("volume");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("below the root") << "/usr/share"
                                        << "/";
        QTest::newRow("a mount point itself") << "/mnt/data"
                                              << "/mnt/data";
        QTest::newRow("below a mount") << "/mnt/data/photos/2024"
                                       << "/mnt/data";
        QTest::newRow("the longest mount wins") << "/mnt/data/inner/x"
                                                << "/mnt/data/inner";
        QTest::newRow("a name that only starts alike") << "/mnt/database"
                                                       << "/";
        QTest::newRow("trailing separator") << "/mnt/data/"
                                            << "/mnt/data";
    }
    void volumeOfPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, volume);
        const QStringList volumes {"/", "/mnt/data", "/mnt/data/inner", "/home"};
        QCOMPARE(volumeOf(path, volumes), volume);
    }

    void listing()
    {
        QTemporaryDir dir;
        const QString open = dir.filePath(QStringLiteral("開く"));
        sheaf::test::writeFile(open + QStringLiteral("/b/x.txt"), "x");
        sheaf::test::writeFile(open + QStringLiteral("/A/x.txt"), "x");
        sheaf::test::writeFile(open + QStringLiteral("/.hidden/x.txt"), "x");
        sheaf::test::writeFile(open + QStringLiteral("/c/x.txt"), "x");
        sheaf::test::writeFile(open + QStringLiteral("/a-file.txt"), "not a folder");
        QVERIFY(QFile::link(open + QStringLiteral("/c"), open + QStringLiteral("/link")));

        const FolderPickerListing l = listFolder(open + QStringLiteral("/b/.."));
        QCOMPARE(l.errorNumber, 0);
        QCOMPARE(l.open, open);
        // The chain runs from the root down to the open folder.
        QCOMPARE(l.chain.first(), QStringLiteral("/"));
        QCOMPARE(l.chain.last(), open);
        QCOMPARE(l.chain.size(), open.count(QLatin1Char('/')) + 1);
        for (qsizetype i = 1; i < l.chain.size(); ++i)
            QCOMPARE(QFileInfo(l.chain[i]).path(), l.chain[i - 1]);
        // Subfolders only, hidden ones left out, in name order ignoring case;
        // a link to a folder opens like one.
        QCOMPARE(
            l.subfolders, (QStringList {open + "/A", open + "/b", open + "/c", open + "/link"}));
        QCOMPARE(folderDisplayName(open), QStringLiteral("開く"));
    }

    // A folder whose name is not UTF-8 opens as itself, not as the look-alike
    // whose name has U+FFFD in its place.
    void listingKeepsNameBytes()
    {
        QTemporaryDir dir;
        const QString raw = dir.path() + u'/' + nameFromBytes("z\xFF");
        QVERIFY(std::filesystem::create_directories(namePath(raw + QStringLiteral("/in"))));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("z\uFFFD/other"))));
        QVERIFY(listFolder(dir.path()).subfolders.contains(raw));
        QCOMPARE(listFolder(raw).subfolders, QStringList {raw + QStringLiteral("/in")});
        QCOMPARE(folderDisplayName(raw), QStringLiteral("z\\xFF"));
    }

    void listingTheRoot()
    {
        const FolderPickerListing l = listFolder(QStringLiteral("/"));
        QCOMPARE(l.errorNumber, 0);
        QCOMPARE(l.open, QStringLiteral("/"));
        QCOMPARE(l.chain, QStringList {"/"});
        QVERIFY(l.subfolders.contains(QStringLiteral("/usr")));
        QCOMPARE(folderDisplayName(l.open), QStringLiteral("/"));
    }

    void listingFails_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << "nothing-here" << ENOENT;
        QTest::newRow("a file") << "file.txt" << ENOTDIR;
    }
    void listingFails()
    {
        QFETCH(QString, relative);
        QFETCH(int, error);
        QTemporaryDir dir;
        sheaf::test::writeFile(dir.filePath(QStringLiteral("file.txt")), "x");
        const FolderPickerListing l = listFolder(dir.filePath(relative));
        QCOMPARE(l.errorNumber, error);
        QVERIFY(!l.errorText.isEmpty());
        QVERIFY(l.open.isEmpty());
        QVERIFY(l.chain.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFolderLists)
#include "test_folder_lists.moc"
