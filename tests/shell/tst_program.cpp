// The program as a user starts it: one instance, handed-over starts, quitting from the menu and on signals.

#include "testsupport/tray/TrayHostProcess.h"
#include "testsupport/tray/TrayInspection.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace tray = brelta::testsupport::tray;

namespace {

// The program, with a home of its own on the test run's display, bus and keyring.
class Program
{
public:
    explicit Program(const QString &home) : m_home(home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/state"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        environment.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("BRELTA_TEST_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("brelta.*.debug=true"));
        QDir(home).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }

    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void start(const QStringList &arguments = {})
    {
        m_process.start(qEnvironmentVariable("BRELTA_PROGRAM"), arguments);
    }

    // Reads what the program logged until `text` appears (or the time runs out).
    bool waitForLog(const QString &text, int timeoutMs = 15000)
    {
        return QTest::qWaitFor(
            [&] {
                m_log += QString::fromUtf8(m_process.readAll());
                return m_log.contains(text);
            },
            timeoutMs);
    }
    QString log()
    {
        m_log += QString::fromUtf8(m_process.readAll());
        return m_log;
    }

    bool waitForExit(int timeoutMs = 15000) { return m_process.waitForFinished(timeoutMs); }
    QProcess &process() { return m_process; }

private:
    QString m_home;
    QProcess m_process;
    QString m_log;
};

} // namespace

class ProgramTest : public QObject
{
    Q_OBJECT

    brelta::testsupport::TrayHostProcess watcher;
    std::unique_ptr<QTemporaryDir> home;

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("BRELTA_TEST_DISPLAY"), "needs the X display of scripts/test");
        QVERIFY2(watcher.startStatusNotifierWatcher(), qPrintable(watcher.errorString()));
    }

    void init() { home = std::make_unique<QTemporaryDir>(); }
    void cleanup() { home.reset(); }

    void aSecondStartHandsOverAndEndsWithZero()
    {
        Program first(home->path());
        first.start();
        QVERIFY2(first.waitForLog(QStringLiteral("ServicesStarted")), qPrintable(first.log()));

        Program second(home->path());
        second.start({QStringLiteral("--from-test")});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY2(second.log().contains(QStringLiteral("handed the arguments to the running instance")),
                 qPrintable(second.log()));

        // The first answers with its popover (onboarding, for this new user).
        QVERIFY2(first.waitForLog(QStringLiteral("started again with 1 arguments")), qPrintable(first.log()));
        QVERIFY2(first.waitForLog(QStringLiteral("showing the onboarding popover")), qPrintable(first.log()));

        ::kill(first.process().processId(), SIGTERM);
        QVERIFY(first.waitForExit());
        QCOMPARE(first.process().exitCode(), 0);
    }

    void terminationSignalsEndItCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void terminationSignalsEndItCleanly()
    {
        QFETCH(int, signalNumber);
        Program program(home->path());
        program.start();
        QVERIFY2(program.waitForLog(QStringLiteral("ServicesStarted")), qPrintable(program.log()));
        ::kill(program.process().processId(), signalNumber);
        QVERIFY(program.waitForExit());
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 0);
        QVERIFY2(program.log().contains(QStringLiteral("Brelta ends with status 0")), qPrintable(program.log()));
        // The next start is the instance again: nothing of the old one is left in the way.
        Program next(home->path());
        next.start();
        QVERIFY2(next.waitForLog(QStringLiteral("ServicesStarted")), qPrintable(next.log()));
        ::kill(next.process().processId(), SIGTERM);
        QVERIFY(next.waitForExit());
    }

    void quitBreltaInTheMenuEndsItWithZero()
    {
        const QStringList before = tray::registeredItems();
        Program program(home->path());
        program.start();
        QVERIFY2(program.waitForLog(QStringLiteral("ServicesStarted")), qPrintable(program.log()));
        QStringList items;
        QVERIFY(QTest::qWaitFor(
            [&] {
                items = tray::registeredItems();
                return items.size() > before.size();
            },
            5000));
        const QString service = items.last().section(QLatin1Char('/'), 0, 0);
        const QList<tray::MenuEntry> entries = tray::menuEntries(service);
        const auto quit = std::find_if(entries.begin(), entries.end(), [](const tray::MenuEntry &entry) {
            return entry.properties.value(QStringLiteral("label")).toString() == QStringLiteral("Quit Brelta");
        });
        QVERIFY(quit != entries.end());
        tray::clickMenuEntry(service, quit->id);
        QVERIFY2(program.waitForExit(), qPrintable(program.log()));
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "tst_program.moc"
