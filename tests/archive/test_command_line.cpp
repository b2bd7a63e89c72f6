// The command line of one archive and the paths it is made of, character for
// character: the engine reads exactly this text.

#include "archive/archiver_choice.h"
#include "archive/entry_paths.h"

#include <QTest>

using namespace sheaf;

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void compose_data();
    void compose();
    void folderName_data();
    void folderName();
    void archivePath_data();
    void archivePath();
};

void TestCommandLine::compose_data()
{
    QTest::addColumn<int>("archiver");
    QTest::addColumn<bool>("together");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");

    const QString out = QStringLiteral("D:/out/IMG01"), dir = QStringLiteral("C:/data/photos/"),
                  file = QStringLiteral("IMG01.TXT");
    QTest::newRow("lzh one file")
        << int(ArchiverKind::Lzh) << false << out << dir << file
        << "a -a1 -r0 \"D:/out/IMG01.lzh\" \"C:/data/photos/\" \"IMG01.TXT\"";
    QTest::newRow("lzh together") << int(ArchiverKind::Lzh) << true << out << dir << file
                                  << "a -a2 -r2x1 \"D:/out/IMG01.lzh\" \"C:/data/photos/\" *.*";
    QTest::newRow("zip one file") << int(ArchiverKind::Zip) << false << out << dir << file
                                  << "-S \"D:/out/IMG01.zip\" \"C:/data/photos/\" \"IMG01.TXT\"";
    QTest::newRow("zip together") << int(ArchiverKind::Zip) << true << out << dir << file
                                  << "-r -S \"D:/out/IMG01.zip\" \"C:/data/photos/\" *.*";
    QTest::newRow("cab one file") << int(ArchiverKind::Cab) << false << out << dir << file
                                  << "-a \"D:/out/IMG01.cab\" \"C:/data/photos/\" \"IMG01.TXT\"";
    QTest::newRow("cab together") << int(ArchiverKind::Cab) << true << out << dir << file
                                  << "-a -r \"D:/out/IMG01.cab\" \"C:/data/photos/\" *.*";
    QTest::newRow("spaces kept inside the quotes")
        << int(ArchiverKind::Lzh) << false << QStringLiteral("/home/u/my out/a b")
        << QStringLiteral("/home/u/my data/") << QStringLiteral("a b.TXT")
        << "a -a1 -r0 \"/home/u/my out/a b.lzh\" \"/home/u/my data/\" \"a b.TXT\"";
    QTest::newRow("japanese names")
        << int(ArchiverKind::Lzh) << false << QStringLiteral("/資料/東京/報告書")
        << QStringLiteral("/資料/東京/") << QStringLiteral("報告書.TXT")
        << QStringLiteral("a -a1 -r0 \"/資料/東京/報告書.lzh\" \"/資料/東京/\" \"報告書.TXT\"");
}

void TestCommandLine::compose()
{
    QFETCH(int, archiver);
    QFETCH(bool, together);
    QFETCH(QString, archive);
    QFETCH(QString, dir);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QCOMPARE(composeCommandLine(ArchiverKind(archiver), together, archive, dir, file), expected);
}

void TestCommandLine::folderName_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nested") << "/data/photos/"
                            << "photos";
    QTest::newRow("relative, one level") << "photos/"
                                         << "photos";
    QTest::newRow("japanese") << "/資料/東京/"
                              << "東京";
    QTest::newRow("root") << "/"
                          << "";
    QTest::newRow("doubled separator") << "/mnt//"
                                       << "";
    QTest::newRow("spaces kept") << "/a/my photos/"
                                 << "my photos";
}

void TestCommandLine::folderName()
{
    QFETCH(QString, dir);
    QFETCH(QString, expected);
    QCOMPARE(folderNameOf(dir), expected);
}

void TestCommandLine::archivePath_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("outputFolder");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");
    QTest::newRow("beside the file") << false << "/out"
                                     << "/data/photos/"
                                     << "IMG01.TXT"
                                     << ".TXT"
                                     << "/data/photos/IMG01";
    QTest::newRow("in the output folder") << true << "/out"
                                          << "/data/photos/"
                                          << "IMG01.TXT"
                                          << ".TXT"
                                          << "/out/IMG01";
    QTest::newRow("output folder ending in a separator") << true << "/"
                                                         << "/data/"
                                                         << "IMG01.TXT"
                                                         << ".TXT"
                                                         << "//IMG01";
    QTest::newRow("cut by length, case aside") << false << ""
                                               << "/d/"
                                               << "IMG01.txt"
                                               << ".TXT"
                                               << "/d/IMG01";
    QTest::newRow("name is only the extension") << false << ""
                                                << "/d/"
                                                << ".txt"
                                                << ".TXT"
                                                << "/d/";
    QTest::newRow("dotted base name") << false << ""
                                      << "/d/"
                                      << "a.b.TXT"
                                      << ".TXT"
                                      << "/d/a.b";
}

void TestCommandLine::archivePath()
{
    QFETCH(bool, output);
    QFETCH(QString, outputFolder);
    QFETCH(QString, dir);
    QFETCH(QString, fileName);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QCOMPARE(archivePathOf(output, outputFolder, dir, baseNameOf(fileName, extension)), expected);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
