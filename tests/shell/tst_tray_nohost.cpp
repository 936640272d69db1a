#include "ShellTestSupport.h"

#include "platform/desktop/PopoverPlacement.h"

#include <QRegularExpression>

using brelta::shell::PopoverKind;
using brelta::testsupport::shell::ShellFixture;

Q_DECLARE_METATYPE(PopoverKind)

// Without any tray (no StatusNotifierItem host, no XEmbed tray: GNOME without its AppIndicator extension)
// the program says so and opens its popover at the top right, so it stays usable.
class TrayWithoutHostTest : public QObject
{
    Q_OBJECT

private slots:
    void aWarningAndThePopoverAtTheTopRight_data()
    {
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<PopoverKind>("kind");
        QTest::newRow("signed in: the main popover") << true << PopoverKind::Main;
        QTest::newRow("before onboarding: the onboarding popover") << false << PopoverKind::Onboarding;
    }

    void aWarningAndThePopoverAtTheTopRight()
    {
        QFETCH(bool, onboarded);
        QFETCH(PopoverKind, kind);
        ShellFixture f;
        if (onboarded)
            f.storeSignedInUser();
        f.makeDelegate();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no tray icons.*AppIndicator")));
        QVERIFY(f.launchAndWaitForServices());
        QVERIFY(!f.delegate->hasTrayHost());

        QTRY_VERIFY(f.shown(kind));
        QCOMPARE(f.shownPopovers(), QList<PopoverKind>{kind});
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect geometry = f.delegate->popovers()->window(kind)->geometry();
        QCOMPARE(geometry.right(), available.right());
        QCOMPARE(geometry.top(), available.top() + 1 + brelta::platform::desktop::kPopoverGap);
    }
};

BRELTA_SHELL_TEST_MAIN(TrayWithoutHostTest, None)
#include "tst_tray_nohost.moc"
