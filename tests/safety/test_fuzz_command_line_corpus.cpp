// Every input under tests/fuzz/corpus/fuzz_command_line/ run through the fuzz
// target's own checks.

#include "fuzz/fuzz_command_line.cpp"
#include "fuzz_corpus_replay.h"

class TestFuzzCommandLineCorpus : public QObject
{
    Q_OBJECT
private slots:
    void input_data() { sheaf::test::addCorpusRows("fuzz_command_line"); }
    void input() { sheaf::test::replayCorpusRow(LLVMFuzzerTestOneInput); }
};

QTEST_GUILESS_MAIN(TestFuzzCommandLineCorpus)
#include "test_fuzz_command_line_corpus.moc"
