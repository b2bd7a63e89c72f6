// Every input under tests/fuzz/corpus/fuzz_archive_writers/ run through the
// fuzz target's own checks.

#include "fuzz/fuzz_archive_writers.cpp"
#include "fuzz_corpus_replay.h"

class TestFuzzArchiveWritersCorpus : public QObject
{
    Q_OBJECT
private slots:
    void input_data() { sheaf::test::addCorpusRows("fuzz_archive_writers"); }
    void input() { sheaf::test::replayCorpusRow(LLVMFuzzerTestOneInput); }
};

QTEST_GUILESS_MAIN(TestFuzzArchiveWritersCorpus)
#include "test_fuzz_archive_writers_corpus.moc"
