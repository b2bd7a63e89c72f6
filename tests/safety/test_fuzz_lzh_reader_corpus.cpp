// Every input under tests/fuzz/corpus/fuzz_lzh_reader/ run through the fuzz
// target's own checks.

#include "fuzz/fuzz_lzh_reader.cpp"
#include "fuzz_corpus_replay.h"

class TestFuzzLzhReaderCorpus : public QObject
{
    Q_OBJECT
private slots:
    void input_data() { sheaf::test::addCorpusRows("fuzz_lzh_reader"); }
    void input() { sheaf::test::replayCorpusRow(LLVMFuzzerTestOneInput); }
};

QTEST_GUILESS_MAIN(TestFuzzLzhReaderCorpus)
#include "test_fuzz_lzh_reader_corpus.moc"
