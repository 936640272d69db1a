#include "platform/desktop/LoginItem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using brelta::platform::desktop::LoginItem;
using brelta::platform::desktop::quoteExecArgument;

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool writeAll(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

class LoginItemTest : public QObject
{
    Q_OBJECT

private slots:
    void execQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "/usr/bin/brelta"
                               << "\"/usr/bin/brelta\"";
        QTest::newRow("space") << "/opt/My Apps/brelta"
                               << "\"/opt/My Apps/brelta\"";
        QTest::newRow("double quote") << "/opt/a\"b/brelta"
                                      << "\"/opt/a\\\\\"b/brelta\"";
        QTest::newRow("dollar and backtick") << "/opt/$x`y/brelta"
                                             << "\"/opt/\\\\$x\\\\`y/brelta\"";
        QTest::newRow("backslash") << "/opt/a\\b/brelta"
                                   << "\"/opt/a\\\\\\\\b/brelta\"";
        QTest::newRow("percent is not a field code") << "/opt/100%/brelta"
                                                     << "\"/opt/100%%/brelta\"";
    }

    void execQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(quoteExecArgument(path), expected);
    }

    void writesAnEnabledEntry()
    {
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("config/autostart"));
        const LoginItem item(QStringLiteral("com.brelta.desktop"), QStringLiteral("/opt/My Apps/brelta"), folder);
        const LoginItem::Result result = item.registerItem();
        QVERIFY2(result.written, qPrintable(result.error));
        QVERIFY(!result.keptDisabled);
        QCOMPARE(item.entryPath(), folder + QStringLiteral("/com.brelta.desktop.desktop"));
        const QString text = readAll(item.entryPath());
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("\nType=Application\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/opt/My Apps/brelta\"\n")));
        QVERIFY(text.contains(QStringLiteral("\nX-GNOME-Autostart-enabled=true\n")));
        QVERIFY(!text.contains(QStringLiteral("Hidden=")));
        QVERIFY(!LoginItem::isDisabledEntry(item.entryPath()));
    }

    // Each launch writes the entry again (the program may have moved); the user's "off" survives it.
    void aDisabledEntryStaysDisabled_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<bool>("disabled");
        QTest::newRow("Hidden=true") << QByteArray("[Desktop Entry]\nExec=/old/brelta\nHidden=true\n") << true;
        QTest::newRow("GNOME switch off")
            << QByteArray("[Desktop Entry]\nExec=/old/brelta\nX-GNOME-Autostart-enabled=false\n") << true;
        QTest::newRow("switched on") << QByteArray(
            "[Desktop Entry]\nExec=/old/brelta\nX-GNOME-Autostart-enabled=true\n")
                                     << false;
        QTest::newRow("Hidden in another group does not count")
            << QByteArray("[Desktop Entry]\nExec=/old/brelta\n[Desktop Action x]\nHidden=true\n") << false;
    }

    void aDisabledEntryStaysDisabled()
    {
        QFETCH(QByteArray, existing);
        QFETCH(bool, disabled);
        QTemporaryDir folder;
        const LoginItem item(QStringLiteral("com.brelta.desktop"), QStringLiteral("/usr/bin/brelta"), folder.path());
        QVERIFY(writeAll(item.entryPath(), existing));

        const LoginItem::Result result = item.registerItem();
        QVERIFY2(result.written, qPrintable(result.error));
        QCOMPARE(result.keptDisabled, disabled);
        QCOMPARE(LoginItem::isDisabledEntry(item.entryPath()), disabled);
        const QString text = readAll(item.entryPath());
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/usr/bin/brelta\"\n")));
        // A second launch changes nothing more.
        QVERIFY(item.registerItem().written);
        QCOMPARE(readAll(item.entryPath()), text);
    }

    void anUnwritableFolderIsReported()
    {
        QTemporaryDir home;
        // A file where the folder should be.
        const QString blocked = home.filePath(QStringLiteral("autostart"));
        QVERIFY(writeAll(blocked, "not a folder"));
        const LoginItem item(QStringLiteral("com.brelta.desktop"), QStringLiteral("/usr/bin/brelta"), blocked);
        const LoginItem::Result result = item.registerItem();
        QVERIFY(!result.written);
        QVERIFY2(result.error.contains(blocked), qPrintable(result.error));
        QCOMPARE(readAll(blocked), QStringLiteral("not a folder"));
    }
};

QTEST_GUILESS_MAIN(LoginItemTest)
#include "tst_loginitem.moc"
