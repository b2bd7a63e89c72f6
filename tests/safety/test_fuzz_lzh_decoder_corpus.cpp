// Every input under tests/fuzz/corpus/fuzz_lzh_decoder/ run through the fuzz
// target's own checks.

#include "fuzz/fuzz_lzh_decoder.cpp"
#include "fuzz_corpus_replay.h"

class TestFuzzLzhDecoderCorpus : public QObject
{
    Q_OBJECT
private slots:
    void input_data() { sheaf::test::addCorpusRows("fuzz_lzh_decoder"); }
    void input() { sheaf::test::replayCorpusRow(LLVMFuzzerTestOneInput); }
};

QTEST_GUILESS_MAIN(TestFuzzLzhDecoderCorpus)
#include "test_fuzz_lzh_decoder_corpus.moc"
