#include "platform/desktop/TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using brelta::platform::desktop::TerminationSignals;

class TerminationSignalsTest : public QObject
{
    Q_OBJECT

private slots:
    void termAndIntBecomeOneSignalEachOnTheEventLoop_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void termAndIntBecomeOneSignalEachOnTheEventLoop()
    {
        QFETCH(int, signalNumber);
        TerminationSignals watcher;
        QVERIFY(watcher.isInstalled());
        QSignalSpy requested(&watcher, &TerminationSignals::terminationRequested);
        // The process survives the signal: it arrives as a Qt signal instead of ending it.
        QCOMPARE(::raise(signalNumber), 0);
        QTRY_COMPARE(requested.size(), 1);
        QCOMPARE(requested.first().first().toInt(), signalNumber);
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "tst_terminationsignals.moc"
