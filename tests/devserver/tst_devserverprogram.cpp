// brelta-devserver as a process: it tells how to sign in, signs in, and stops cleanly on a signal.
#include "HttpProbe.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace brelta::devserver::test;

class TestDevServerProgram : public QObject
{
    Q_OBJECT

private:
    struct Started
    {
        QUrl url;
        QString email;
        QString password;
    };

    // Reads the start banner: the URL and the seeded user's credentials.
    static std::optional<Started> readBanner(QProcess &process)
    {
        QByteArray banner;
        static const QRegularExpression pattern(QStringLiteral(
            R"(listening on (\S+)\n\s+sign in with e-mail (\S+) and password (\S+)\n\s+uploads are saved under)"));
        for (int i = 0; i < 50; ++i) {
            process.waitForReadyRead(200);
            banner += process.readAllStandardOutput();
            const auto match = pattern.match(QString::fromUtf8(banner));
            if (match.hasMatch())
                return Started{QUrl(match.captured(1)), match.captured(2), match.captured(3)};
        }
        qWarning() << "banner so far:" << banner << process.readAllStandardError();
        return std::nullopt;
    }

private Q_SLOTS:
    void signsInWithThePrintedCredentialsAndStopsOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signsInWithThePrintedCredentialsAndStopsOnSignal()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir uploads;
        QProcess process;
        process.start(QStringLiteral(BRELTA_DEVSERVER_PROGRAM),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--upload-dir"), uploads.path()});
        QVERIFY(process.waitForStarted());
        const auto started = readBanner(process);
        QVERIFY(started);
        QCOMPARE(started->url.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(started->url.port() > 0);

        HttpProbe http(started->url);
        const ProbeReply signIn =
            http.post(QStringLiteral("/authn/password?realm=tarvelo"),
                      {{"username", started->email.toStdString()}, {"password", started->password.toStdString()}});
        QCOMPARE(signIn.status, 200);
        const ProbeReply tokens = http.post(QStringLiteral("/token"), {{"code", signIn.json().at("code")}});
        QCOMPARE(tokens.status, 200);
        QVERIFY(tokens.json().at("accessToken").is_string());
        QVERIFY(tokens.json().at("refreshToken").is_string());
        QCOMPARE(QString::fromStdString(tokens.json().at("identity").at("email").get<std::string>()), started->email);

        ::kill(pid_t(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().contains("stopped"));
    }

    void refusesABadOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("port not a number") << QStringList{QStringLiteral("--port"), QStringLiteral("http")};
        QTest::newRow("port too large") << QStringList{QStringLiteral("--port"), QStringLiteral("70000")};
        QTest::newRow("host not an address") << QStringList{QStringLiteral("--host"), QStringLiteral("localhost:1")};
    }

    void refusesABadOption()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(QStringLiteral(BRELTA_DEVSERVER_PROGRAM), arguments);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().startsWith("brelta-devserver: --"));
    }
};

QTEST_GUILESS_MAIN(TestDevServerProgram)
#include "tst_devserverprogram.moc"
