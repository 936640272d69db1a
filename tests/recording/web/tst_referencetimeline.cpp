#include "recording/web/ReferenceTimeline.h"

#include <QTest>

using brelta::recording::ReferenceTimeline;

namespace {

constexpr int kRate = 1000; // one sample a millisecond keeps the arithmetic readable

// The timeline as text: "." per silent sample, the block's digit per sample, "|" where it breaks.
struct Tape
{
    QString text;

    void add(const std::vector<ReferenceTimeline::Piece> &pieces)
    {
        for (const auto &piece : pieces) {
            if (piece.breaks)
                text += QLatin1Char('|');
            text += QString(qsizetype(piece.silence), QLatin1Char('.'));
            for (const float sample : piece.samples)
                text += QString::number(int(sample));
        }
    }
};

std::vector<float> block(int digit, int length)
{
    return std::vector<float>(std::size_t(length), float(digit));
}

} // namespace

class TestReferenceTimeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesWhatPlayedOnTheMicrophonesTimeline_data()
    {
        // Steps: "s<ms>" the microphone started at that time; "b<digit>@<ms>" a 4 ms block arrived then;
        // "r" a new capture; "p" pause; "u" resume.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("tape");
        QTest::newRow("reference from before the microphone is cut")
            << QStringList{"b1@1002", "b2@1006", "s1000"} << "112222";
        QTest::newRow("reference that starts late begins with silence")
            << QStringList{"s1000", "b1@1007", "b2@1011"} << "...11112222";
        QTest::newRow("a block entirely before the microphone is dropped")
            << QStringList{"b1@996", "b2@1000", "b3@1004", "s1000"} << "3333";
        QTest::newRow("blocks follow one another without a seam")
            << QStringList{"s1000", "b1@1004", "b2@1020", "b3@1021"} << "111122223333";
        QTest::newRow("a new capture after a gap is placed by its arrival")
            << QStringList{"s1000", "b1@1004", "r", "b2@1014"} << "1111|......2222";
        QTest::newRow("a new capture arriving early drops the overlap")
            << QStringList{"s1000", "b1@1008", "r", "b2@1010"} << "....1111|22";
        QTest::newRow("a pause leaves no gap and breaks the timeline")
            << QStringList{"s1000", "b1@1004", "p", "u", "b2@5000"} << "1111|2222";
        QTest::newRow("a capture restarted while paused follows without a gap")
            << QStringList{"s1000", "b1@1004", "p", "r", "u", "b2@9000"} << "1111|2222";
    }

    void placesWhatPlayedOnTheMicrophonesTimeline()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, tape);
        ReferenceTimeline timeline(kRate);
        Tape out;
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1Char('s')))
                out.add(timeline.setMicrophoneStart(step.mid(1).toLongLong()));
            else if (step.startsWith(QLatin1Char('b')))
                out.add(timeline.add(block(step.mid(1, 1).toInt(), 4), step.mid(3).toLongLong()));
            else if (step == QLatin1String("r"))
                timeline.captureRestarted();
            else if (step == QLatin1String("p"))
                timeline.pause();
            else if (step == QLatin1String("u"))
                timeline.resume();
        }
        QCOMPARE(out.text, tape);
        QCOMPARE(timeline.length(), qint64(QString(tape).remove(QLatin1Char('|')).size()));
    }
};

QTEST_GUILESS_MAIN(TestReferenceTimeline)
#include "tst_referencetimeline.moc"
