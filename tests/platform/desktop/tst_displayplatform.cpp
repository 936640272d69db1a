#include "platform/desktop/DisplayPlatform.h"

#include <QTest>

using brelta::platform::desktop::preferredQpaPlatform;

class DisplayPlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("x11");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("Wayland with XWayland: xcb, so popovers can be placed")
            << QByteArray("") << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("xcb");
        QTest::newRow("the user's choice holds")
            << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("");
        QTest::newRow("the user's xcb holds too")
            << QByteArray("xcb") << QByteArray("") << QByteArray(":0") << QByteArray("");
        QTest::newRow("Wayland without XWayland: Qt's own choice")
            << QByteArray("") << QByteArray("wayland-0") << QByteArray("") << QByteArray("");
        QTest::newRow("plain X11: Qt's own choice")
            << QByteArray("") << QByteArray("") << QByteArray(":0") << QByteArray("");
        QTest::newRow("no display at all: Qt's own choice")
            << QByteArray("") << QByteArray("") << QByteArray("") << QByteArray("");
    }

    void choice()
    {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, x11);
        QFETCH(QByteArray, expected);
        QCOMPARE(preferredQpaPlatform(qpa, wayland, x11), expected);
    }
};

QTEST_APPLESS_MAIN(DisplayPlatformTest)
#include "tst_displayplatform.moc"
