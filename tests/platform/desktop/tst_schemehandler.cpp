#include "platform/desktop/SchemeHandler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using brelta::platform::desktop::SchemeHandler;
using Outcome = SchemeHandler::Outcome;

Q_DECLARE_METATYPE(Outcome)

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class SchemeHandlerTest : public QObject
{
    Q_OBJECT

private slots:
    // Registered only where nothing handles the scheme; the user's other settings stay as they were.
    void registration_data()
    {
        QTest::addColumn<QByteArray>("mimeApps");
        QTest::addColumn<QByteArray>("installedEntry");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("defaultAfter");

        QTest::newRow("nothing yet: registered")
            << QByteArray() << QByteArray() << Outcome::Registered << "com.brelta.desktop.desktop";
        QTest::newRow("other defaults kept, ours added")
            << QByteArray("[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\n"
                          "x-scheme-handler/https=firefox.desktop\n")
            << QByteArray() << Outcome::Registered << "com.brelta.desktop.desktop";
        QTest::newRow("another handler is never replaced")
            << QByteArray("[Default Applications]\nx-scheme-handler/brelta=other.desktop;\n") << QByteArray()
            << Outcome::HandledElsewhere << "other.desktop";
        QTest::newRow("an installed entry handles it")
            << QByteArray() << QByteArray("[Desktop Entry]\nMimeType=x-scheme-handler/brelta;\n")
            << Outcome::HandledElsewhere << "";
    }

    void registration()
    {
        QFETCH(QByteArray, mimeApps);
        QFETCH(QByteArray, installedEntry);
        QFETCH(Outcome, outcome);
        QFETCH(QString, defaultAfter);
        QTemporaryDir root;
        SchemeHandler::Folders folders{root.filePath(QStringLiteral("data")),
                                       {root.filePath(QStringLiteral("sys"))},
                                       root.filePath(QStringLiteral("config")),
                                       {}};
        if (!mimeApps.isEmpty())
            writeFile(root.filePath(QStringLiteral("config/mimeapps.list")), mimeApps);
        if (!installedEntry.isEmpty())
            writeFile(root.filePath(QStringLiteral("sys/applications/brelta.desktop")), installedEntry);
        SchemeHandler handler(QStringLiteral("com.brelta.desktop"), QStringLiteral("/opt/my brelta/brelta"), folders);

        QCOMPARE(handler.ensureRegistered().outcome, outcome);
        const QString after = readFile(handler.mimeAppsPath());
        QCOMPARE(SchemeHandler::defaultHandlerIn(after, SchemeHandler::kMimeType), defaultAfter);
        // What was there stays there.
        for (const QByteArray &line : mimeApps.split('\n'))
            QVERIFY2(after.contains(QString::fromUtf8(line)), line.constData());
        QCOMPARE(QFile::exists(handler.entryPath()), outcome == Outcome::Registered);
        if (outcome == Outcome::Registered) {
            const QString entry = readFile(handler.entryPath());
            QVERIFY2(entry.contains(QStringLiteral("Exec=\"/opt/my brelta/brelta\" %u\n")), qPrintable(entry));
            QVERIFY(entry.contains(QStringLiteral("MimeType=x-scheme-handler/brelta;")));
            // A second start finds itself registered.
            QCOMPARE(handler.ensureRegistered().outcome, Outcome::HandledElsewhere);
        }
    }
};

QTEST_GUILESS_MAIN(SchemeHandlerTest)
#include "tst_schemehandler.moc"
