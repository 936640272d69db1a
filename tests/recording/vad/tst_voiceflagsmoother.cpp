#include "recording/vad/VoiceFlagSmoother.h"

#include <QTest>

using brelta::recording::VoiceFlagSmoother;

class TestVoiceFlagSmoother : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // `results`: one character per frame, '1' voice, '0' no voice, 'x' undecided (-1); spaces are ignored.
    // `flags`: the flag after each frame, 'T' or 'F'.
    void switchesWhenElevenOfTwelveAgree_data()
    {
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("flags");
        QTest::newRow("eleven voice frames from the start switch on at the eleventh") << "1111111111 1"
                                                                                      << "FFFFFFFFFF T";
        QTest::newRow("ten voice frames among twelve do not switch") << "1111111111 00"
                                                                     << "FFFFFFFFFF FF";
        QTest::newRow("on: ten silent and two voice frames among twelve hold") << "11111111111 0000000000 11 0"
                                                                               << "FFFFFFFFFFT TTTTTTTTTT TT T";
        QTest::newRow("on: an eleventh silent frame among twelve switches off") << "11111111111 0000000000 1 0"
                                                                                << "FFFFFFFFFFT TTTTTTTTTT T F";
        QTest::newRow("undecided frames take places and count for neither side") << "xx 1111111111 1"
                                                                                 << "FF FFFFFFFFFF T";
        QTest::newRow("after a switch the history starts empty: ten more frames are not enough")
            << "11111111111 0000000000"
            << "FFFFFFFFFFT TTTTTTTTTT";
        QTest::newRow("alternating voice and silence never switch") << "10101010101010101010101010"
                                                                    << "FFFFFFFFFFFFFFFFFFFFFFFFFF";
        QTest::newRow("rejected frames only never switch") << "xxxxxxxxxxxxxx"
                                                           << "FFFFFFFFFFFFFF";
    }

    void switchesWhenElevenOfTwelveAgree()
    {
        QFETCH(QString, results);
        QFETCH(QString, flags);
        results.remove(QLatin1Char(' '));
        flags.remove(QLatin1Char(' '));
        QCOMPARE(results.size(), flags.size());
        VoiceFlagSmoother smoother;
        QString seen;
        for (const QChar result : results) {
            const int value = result == QLatin1Char('1') ? 1 : result == QLatin1Char('0') ? 0 : -1;
            seen += smoother.add(value) ? QLatin1Char('T') : QLatin1Char('F');
        }
        QCOMPARE(seen, flags);
    }

    void historyHoldsTwelveAndEmptiesAtASwitch()
    {
        VoiceFlagSmoother smoother;
        for (int i = 0; i < 20; ++i)
            smoother.add(i % 2);
        QCOMPARE(int(smoother.history().size()), VoiceFlagSmoother::historySize);
        QCOMPARE(smoother.history().back(), 1);
        int added = 0;
        while (!smoother.add(1))
            ++added;
        QCOMPARE(added, 8); // six of the twelve held were voice: the ninth voice frame makes eleven
        QVERIFY(smoother.history().empty());
    }
};

QTEST_GUILESS_MAIN(TestVoiceFlagSmoother)
#include "tst_voiceflagsmoother.moc"
