#include "ShellTestSupport.h"

#include "platform/desktop/PopoverPlacement.h"
#include "shell/tray/StatusItem.h"

#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>

using brelta::shell::PopoverKind;
using brelta::testsupport::shell::ShellFixture;

Q_DECLARE_METATYPE(PopoverKind)

namespace {

// A real click through the X server, as the user makes it on the tray.
bool clickAt(const QPoint &point, int button)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
                              QStringLiteral("click"), QString::number(button)})
           == 0;
}

} // namespace

// An XEmbed system tray (trayer) on the test display: the icon sits in it, its geometry is known, and the
// popovers hang from it.
class TrayXEmbedTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

    QRect launchAndFindIcon()
    {
        f->makeDelegate();
        if (!f->launchAndWaitForServices() || !f->delegate->hasTrayHost())
            return {};
        QSystemTrayIcon *icon = f->delegate->statusItem()->trayIcon()->systemTrayIcon();
        // The tray lays its icons out again as they come and go: wait until this one stays put.
        QRect settled;
        const bool stable = QTest::qWaitFor(
            [icon, &settled] {
                const QRect now = icon->geometry();
                if (now.isEmpty() || now != settled) {
                    settled = now;
                    QTest::qWait(300);
                    return false;
                }
                return true;
            },
            10000);
        return stable ? settled : QRect();
    }

private slots:
    void initTestCase() { QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000); }
    void init() { f = std::make_unique<ShellFixture>(); }
    void cleanup() { f.reset(); }

    void aClickOnTheIconOpensThePopoverUnderIt_data()
    {
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<PopoverKind>("kind");
        QTest::newRow("signed in") << true << PopoverKind::Main;
        QTest::newRow("before onboarding") << false << PopoverKind::Onboarding;
    }

    void aClickOnTheIconOpensThePopoverUnderIt()
    {
        QFETCH(bool, onboarded);
        QFETCH(PopoverKind, kind);
        if (onboarded)
            f->storeSignedInUser();
        const QRect icon = launchAndFindIcon();
        QVERIFY(!icon.isEmpty());

        QVERIFY(clickAt(icon.center(), 1));
        QTRY_VERIFY(f->shown(kind));
        QCOMPARE(f->shownPopovers(), QList<PopoverKind>{kind});
        const QRect popover = f->delegate->popovers()->window(kind)->geometry();
        QCOMPARE(popover.top(), icon.bottom() + 1 + brelta::platform::desktop::kPopoverGap);
        QVERIFY(popover.left() <= icon.center().x() && icon.center().x() <= popover.right());
        QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(popover));
    }

    void aRightClickOpensTheMenu()
    {
        const QRect icon = launchAndFindIcon();
        QVERIFY(!icon.isEmpty());
        QVERIFY(clickAt(icon.center(), 3));
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QCOMPARE(menu, f->delegate->statusItem()->menu());
        QVERIFY(menu->actions().contains(f->delegate->statusItem()->quitAction()));
        menu->close();
        QVERIFY(f->shownPopovers().isEmpty());
    }
};

BRELTA_SHELL_TEST_MAIN(TrayXEmbedTest, XEmbed)
#include "tst_tray_xembed.moc"
