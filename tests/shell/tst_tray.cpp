#include "ShellTestSupport.h"

#include "platform/desktop/PopoverPlacement.h"
#include "shell/tray/StatusItem.h"
#include "testsupport/tray/TrayInspection.h"

#include <QCursor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QtEndian>

using brelta::recording::AudioRecordingState;
using brelta::shell::AppDelegate;
using brelta::shell::PopoverKind;
using brelta::shell::StatusItem;
using brelta::testsupport::shell::ShellFixture;
namespace tray = brelta::testsupport::tray;

Q_DECLARE_METATYPE(PopoverKind)

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QVariant itemProperty(const QString &itemService, const QString &name)
{
    return tray::property(itemService, QStringLiteral("/StatusNotifierItem"), kItemInterface, name, true);
}

QDBusMessage callItem(const QString &itemService, const QString &method, const QVariantList &arguments)
{
    return tray::call(itemService, QStringLiteral("/StatusNotifierItem"), kItemInterface, method, arguments, true);
}

// The icon's pixmaps as the host reads them: ARGB32 in network byte order, one per size.
QList<QImage> iconPixmaps(const QString &itemService)
{
    const QVariant value = itemProperty(itemService, QStringLiteral("IconPixmap"));
    const QDBusArgument argument = value.value<QDBusArgument>();
    QList<QImage> images;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray data;
        argument.beginStructure();
        argument >> width >> height >> data;
        argument.endStructure();
        QImage image(width, height, QImage::Format_ARGB32);
        if (data.size() != qsizetype(width) * height * 4)
            return {};
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = qFromBigEndian<quint32>(data.constData() + (qsizetype(y) * width + x) * 4);
        }
        images.append(image);
    }
    argument.endArray();
    return images;
}

// The icon as the tray sends it at `size`.
QImage expected(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

QList<QStringList> shortcutOf(const tray::MenuEntry &entry)
{
    QList<QStringList> keys;
    const QVariant value = entry.properties.value(QStringLiteral("shortcut"));
    if (!value.canConvert<QDBusArgument>())
        return keys;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument >> keys;
    return keys;
}

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    QString itemService;

    // Launches a delegate and returns once its icon has registered with the watcher.
    bool launchRegistered()
    {
        const qsizetype before = tray::registeredItems().size();
        f->makeDelegate();
        if (!f->launchAndWaitForServices())
            return false;
        if (!QTest::qWaitFor([before] { return tray::registeredItems().size() > before; }, 5000))
            return false;
        // "<bus name>/StatusNotifierItem"
        itemService = tray::registeredItems().last().section(QLatin1Char('/'), 0, 0);
        return f->delegate->hasTrayHost();
    }

private slots:
    void init() { f = std::make_unique<ShellFixture>(); }
    void cleanup() { f.reset(); }

    void theIconRegistersWithTheHost()
    {
        QVERIFY(launchRegistered());
        QVERIFY(itemService.startsWith(QLatin1Char(':')));
        QCOMPARE(itemProperty(itemService, QStringLiteral("Menu")).value<QDBusObjectPath>().path(),
                 QStringLiteral("/MenuBar"));
        QCOMPARE(itemProperty(itemService, QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    }

    // What the host draws is the recording image while recording, the idle one otherwise (paused included).
    void theIconsPixelsFollowTheRecordingState()
    {
        QVERIFY(launchRegistered());
        const QIcon idle = StatusItem::idleImage();
        const QIcon recording = StatusItem::recordingImage();
        QVERIFY(expected(idle, QSize(22, 22)) != expected(recording, QSize(22, 22)));

        const QList<std::pair<AudioRecordingState, bool>> steps{
            {AudioRecordingState::Stopped, false}, {AudioRecordingState::Recording, true},
            {AudioRecordingState::Paused, false},  {AudioRecordingState::Recording, true},
            {AudioRecordingState::Stopped, false},
        };
        for (const auto &[state, recordingImage] : steps) {
            f->recording.setState(state);
            const QList<QImage> pixmaps = iconPixmaps(itemService);
            QVERIFY(!pixmaps.isEmpty());
            for (const QImage &image : pixmaps)
                QVERIFY2(image == expected(recordingImage ? recording : idle, image.size()),
                         qPrintable(QStringLiteral("state %1, %2 px").arg(int(state)).arg(image.width())));
        }
    }

    void theMenuHoldsASeparatorThenQuit()
    {
        QVERIFY(launchRegistered());
        const QList<tray::MenuEntry> entries = tray::menuEntries(itemService, true);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].properties.value(QStringLiteral("type")).toString(), QStringLiteral("separator"));
        QCOMPARE(entries[1].properties.value(QStringLiteral("label")).toString(), QStringLiteral("Quit Brelta"));
        QCOMPARE(shortcutOf(entries[1]), (QList<QStringList>{{QStringLiteral("Control"), QStringLiteral("Q")}}));

        // The host reports a click on the item: the program quits.
        QSignalSpy ready(f->delegate.get(), &AppDelegate::quitReady);
        const QDBusMessage reply = tray::clickMenuEntry(itemService, entries[1].id, true);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(ready.size(), 1);
    }

    // Activate(x, y) is the host's left click: the main or onboarding popover opens by the pointer.
    void activateOpensThePopoverByThePointer_data()
    {
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<PopoverKind>("kind");
        QTest::newRow("signed in") << true << PopoverKind::Main;
        QTest::newRow("before onboarding") << false << PopoverKind::Onboarding;
    }

    void activateOpensThePopoverByThePointer()
    {
        QFETCH(bool, onboarded);
        QFETCH(PopoverKind, kind);
        if (onboarded)
            f->storeSignedInUser();
        QVERIFY(launchRegistered());
        const QPoint click(900, 12);
        QCursor::setPos(click);
        QTRY_COMPARE(QCursor::pos(), click);

        const QDBusMessage reply = callItem(itemService, QStringLiteral("Activate"), {click.x(), click.y()});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(f->shown(kind));
        QCOMPARE(f->shownPopovers(), QList<PopoverKind>{kind});
        const QRect geometry = f->delegate->popovers()->window(kind)->geometry();
        QCOMPARE(geometry.top(), click.y() + 1 + brelta::platform::desktop::kPopoverGap);
        QVERIFY2(qAbs(geometry.center().x() - click.x()) <= 1, qPrintable(QString::number(geometry.center().x())));
    }

    // A middle click is not a left click.
    void secondaryActivateOpensNothing()
    {
        f->storeSignedInUser();
        QVERIFY(launchRegistered());
        callItem(itemService, QStringLiteral("SecondaryActivate"), {900, 12});
        QTest::qWait(200);
        QVERIFY(f->shownPopovers().isEmpty());
    }
};

BRELTA_SHELL_TEST_MAIN(TrayTest, StatusNotifierItem)
#include "tst_tray.moc"
