#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/PermissionManager.h"
#include "testsupport/CheckedWait.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using brelta::platform::MicrophoneAuthorization;
using brelta::platform::PermissionManager;
using brelta::platform::PulseAudioAccessProbe;
using brelta::testsupport::awaitTask;
namespace settings = brelta::platform::settings;

namespace {

QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

class PermissionManagerTest : public QObject
{
    Q_OBJECT

    QString m_defaultSource;

private slots:
    void initTestCase() { m_defaultSource = pactl({QStringLiteral("get-default-source")}); }
    void cleanup() { pactl({QStringLiteral("set-default-source"), m_defaultSource}); }

    void probes_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<QString>("defaultSource");
        QTest::addColumn<QString>("server");
        QTest::addColumn<MicrophoneAuthorization>("microphone");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<bool>("systemAudio");
        QTest::newRow("never allowed: not determined") << false << ""
                                                       << "" << MicrophoneAuthorization::NotDetermined << false << true;
        QTest::newRow("allowed: authorised") << true << ""
                                             << "" << MicrophoneAuthorization::Authorized << true << true;
        QTest::newRow("a monitor as default source: denied") << true << "speakers.monitor"
                                                             << "" << MicrophoneAuthorization::Denied << false << true;
        QTest::newRow("no sound server: denied")
            << true << ""
            << "unix:/nonexistent/brelta-test/native" << MicrophoneAuthorization::Denied << false << false;
    }

    void probes()
    {
        QFETCH(bool, allowed);
        QFETCH(QString, defaultSource);
        QFETCH(QString, server);
        QFETCH(MicrophoneAuthorization, microphone);
        QFETCH(bool, granted);
        QFETCH(bool, systemAudio);
        QTemporaryDir folder;
        brelta::platform::SettingsStore store(folder.filePath(QStringLiteral("brelta.ini")));
        if (!defaultSource.isEmpty())
            QCOMPARE(pactl({QStringLiteral("set-default-source"), defaultSource}), QString());
        PermissionManager manager(&store, std::make_unique<PulseAudioAccessProbe>(server));
        QCOMPARE(manager.microphoneAuthStatus(), MicrophoneAuthorization::NotDetermined);

        QElapsedTimer elapsed;
        elapsed.start();
        if (allowed) {
            const auto answer = awaitTask(manager.requestMicrophoneAccess());
            QVERIFY(answer.value);
            QCOMPARE(*answer.value, granted);
            // The consent outlives this manager, as a system grant would.
            QVERIFY(store.value(settings::kMicrophoneConsentGiven));
        }
        QVERIFY(awaitTask(manager.refresh()).succeeded());
        QVERIFY2(elapsed.elapsed() < 2 * PermissionManager::kProbeLimit.count() + 500, "the probes took too long");
        QCOMPARE(manager.microphoneAuthStatus(), microphone);
        QCOMPARE(manager.hasSystemAudioAccess(), systemAudio);
    }
};

QTEST_GUILESS_MAIN(PermissionManagerTest)
#include "tst_permissionmanager.moc"
