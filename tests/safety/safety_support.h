#pragma once
// What every safety test checks after a run that went wrong: the user's files
// are byte for byte as before, and each archive is either complete (an
// independent reader extracts exactly the expected files) or absent, or still
// the older archive of its name, untouched.

#include "archive/archive_reader.h"
#include "archive/archive_run.h"
#include "archive/run_texts.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <functional>

namespace sheaf::test {

// A left-over temporary file of the engine: ".<archive>.sheaf-tmp-XXXXXX".
inline bool isEngineTemporary(const QString &name)
{
    return name.startsWith(u'.') && name.contains(QLatin1String(".sheaf-tmp-"));
}

// Every entry below `root` without following links: a file by the SHA-256 of
// its bytes, a folder as "dir", a symbolic link by its target.
inline QMap<QString, QByteArray> hashTree(const QString &root, bool skipTemporaries = false)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (skipTemporaries && isEngineTemporary(info.fileName()))
            continue;
        const QString key = base.relativeFilePath(path);
        if (info.isSymLink()) {
            tree[key] = "link:" + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            tree[key] = "dir";
        } else if (info.isFile()) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                tree[key] = "unreadable";
                continue;
            }
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&f);
            tree[key] = hash.result().toHex();
        } else {
            tree[key] = "special";
        }
    }
    return tree;
}

// Lines naming what differs between two hashed trees; empty when equal.
inline QStringList treeDifferences(
    const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList out;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            out << QStringLiteral("gone: ") + it.key();
        else if (after.value(it.key()) != it.value())
            out << QStringLiteral("changed: ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            out << QStringLiteral("new: ") + it.key();
    return out;
}

class RunRecorder : public ArchiveRunObserver
{
public:
    QStringList refusals, made, failures; // failures: "title|text|detail"
    std::function<void(int)> beforeEntry; // called with k before entry k is worked on
    std::function<void(const QString &)> afterArchive;

    void refused(const QString &text) override { refusals << text; }
    void started(const QString &) override { }
    void counterChanged(const QString &, int k, int) override
    {
        if (beforeEntry)
            beforeEntry(k);
    }
    void archiveMade(const QString &archivePath) override
    {
        made << archivePath;
        if (afterArchive)
            afterArchive(archivePath);
    }
    void failed(FailureKind kind, const QString &text, const QString &detail) override
    {
        failures << run_texts::failureTitle(kind) + u'|' + text + u'|' + detail;
    }
    void finished(const QString &) override { }
};

inline const QString &engineFailure()
{
    static const QString text = QStringLiteral("kwSheaf120|圧縮に失敗しました．|");
    return text;
}

inline ArchiveRunSettings runSettings(
    ArchiverKind archiver, const QString &outputFolder, bool name = false, bool together = false)
{
    ArchiveRunSettings s;
    s.archiver = archiver;
    s.name = name;
    s.together = together;
    s.output = !outputFolder.isEmpty();
    s.outputFolder = outputFolder;
    s.extension = QStringLiteral(".TXT");
    // One entry at a time: the tests change the disk between entries.
    s.threads = 1;
    return s;
}

} // namespace sheaf::test

// Both readers, since rows cover every archiver.
#define SHEAF_REQUIRE_READERS()                                                                    \
    do {                                                                                           \
        SHEAF_REQUIRE_TOOL("unar");                                                                \
        SHEAF_REQUIRE_TOOL("7zz");                                                                 \
    } while (false)

// Fails the test with every difference listed.
#define SHEAF_NO_DIFFERENCES(expr)                                                                 \
    do {                                                                                           \
        const QStringList differences_ = (expr);                                                   \
        QVERIFY2(differences_.isEmpty(), qPrintable(differences_.join(u'\n')));                    \
    } while (false)
