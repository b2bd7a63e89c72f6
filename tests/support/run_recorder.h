#pragma once
// The compress run as the tests start it: the settings the window would hand
// over, and an observer that records what the run reports.

#include "archive/archive_run.h"
#include "archive/run_texts.h"

#include <QStringList>

#include <functional>

namespace sheaf::test {

// The run's settings: extension ".TXT", archives in `outputFolder` when one is
// given, else beside their files. One entry at a time, so that a test may
// change the disk between entries; the tests of parallel runs set more.
inline ArchiveRunSettings runSettings(ArchiverKind archiver, const QString &outputFolder = {},
    bool name = false, bool together = false)
{
    ArchiveRunSettings s;
    s.archiver = archiver;
    s.name = name;
    s.together = together;
    s.output = !outputFolder.isEmpty();
    s.outputFolder = outputFolder;
    s.extension = QStringLiteral(".TXT");
    s.threads = 1;
    return s;
}

// How a failure of the archiver starts in RunRecorder::failures.
inline const QString &engineFailure()
{
    static const QString text = QStringLiteral("kwSheaf120|圧縮に失敗しました．|");
    return text;
}

class RunRecorder : public ArchiveRunObserver
{
public:
    QStringList refusals, made, counters, failures; // failures: "title|text|detail"
    QString status; // the last status text
    std::function<void(int)> beforeEntry; // called with k before entry k is worked on
    std::function<void(const QString &)> afterArchive;

    void refused(const QString &text) override { refusals << text; }
    void started(const QString &statusText) override { status = statusText; }
    void counterChanged(const QString &counterText, int k, int) override
    {
        counters << counterText;
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
    void finished(const QString &statusText) override { status = statusText; }
};

} // namespace sheaf::test
