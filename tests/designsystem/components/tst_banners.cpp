#include "Rendering.h"

#include "designsystem/components/Banners.h"
#include "designsystem/components/KitButton.h"
#include "designsystem/foundation/TextView.h"

#include <QTest>
#include <QVBoxLayout>

using namespace brelta::designsystem;

namespace {
// A column of the given width holding the banner, as a screen lays it out.
struct Column
{
    QWidget window;

    Column(QWidget *banner, int width)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(banner);
        layout->addStretch();
        window.resize(width, 400);
        window.show();
    }
};

BodyView *messageOf(QWidget *banner, const QString &message)
{
    for (BodyView *view : banner->findChildren<BodyView *>())
        if (view->text() == message)
            return view;
    return nullptr;
}
} // namespace

class BannersTest : public QObject
{
    Q_OBJECT

private slots:
    void errorBannerWithoutRetryShowsIconAndMessageAtTheLeadingEdge()
    {
        auto *banner = new ErrorBanner(QStringLiteral("We could not upload your recording."));
        Column column(banner, 400);
        QVERIFY(QTest::qWaitForWindowExposed(&column.window));
        QCOMPARE(banner->tryAgainButton(), nullptr);
        QVERIFY(banner->findChildren<QAbstractButton *>().isEmpty());
        QCOMPARE(banner->width(), 400);
        BodyView *message = messageOf(banner, banner->message());
        QVERIFY(message);
        // 16 px padding, the 16 px icon, 8 px between them.
        QCOMPARE(message->x(), 40);
    }

    void tryAgainSitsAtTheTrailingEdgeAndRunsOncePerPress()
    {
        int retries = 0;
        auto *banner = new ErrorBanner(QStringLiteral("We could not load your goals."), [&retries] { ++retries; });
        Column column(banner, 400);
        QVERIFY(QTest::qWaitForWindowExposed(&column.window));
        KitButton *tryAgain = banner->tryAgainButton();
        QVERIFY(tryAgain);
        QCOMPARE(tryAgain->accessibleName(), QStringLiteral("Try again"));
        QCOMPARE(tryAgain->geometry().right(), 400 - 16 - 1);
        QTest::mouseClick(tryAgain, Qt::LeftButton);
        QCOMPARE(retries, 1);
        QTest::mouseClick(tryAgain, Qt::LeftButton);
        QCOMPARE(retries, 2);
    }

    void longMessageWrapsAndTheBannerGrows()
    {
        const QString text = QStringLiteral("Something went wrong while we were talking to the server. Check your "
                                            "connection; your recording is safe and will be sent again.");
        auto *shortBanner = new ErrorBanner(QStringLiteral("Short."), [] {});
        Column shortColumn(shortBanner, 320);
        auto *longBanner = new ErrorBanner(text, [] {});
        Column longColumn(longBanner, 320);
        QVERIFY(QTest::qWaitForWindowExposed(&longColumn.window));
        QCOMPARE(longBanner->width(), 320);
        QVERIFY2(longBanner->height() >= 2 * shortBanner->height() - 16,
                 qPrintable(QStringLiteral("%1 vs %2").arg(longBanner->height()).arg(shortBanner->height())));
        BodyView *message = messageOf(longBanner, text);
        // The text stays inside the padding, and its whole height fits.
        QVERIFY(message->geometry().right() < longBanner->tryAgainButton()->x());
        QVERIFY(message->height() >= message->heightForWidth(message->width()));
        QCOMPARE(longBanner->height(), message->height() + 16);
    }

    void backgroundsAreTheBannersColours()
    {
        ErrorBanner error(QStringLiteral("Failed."));
        SuccessBanner success(QStringLiteral("Saved."));
        error.resize(300, error.sizeHint().height());
        success.resize(300, success.sizeHint().height());
        // Negative40 is the error fill; Positive (#24A35E) at 60 % the success fill.
        const QColor errorFill = rendering::at(rendering::render(&error), 296, 3);
        QVERIFY2(rendering::near(errorFill, QColor(0xFF, 0x7E, 0x7E, 0x66), 3),
                 qPrintable(rendering::describe(errorFill)));
        const QColor successFill = rendering::at(rendering::render(&success), 296, 3);
        QVERIFY2(rendering::near(successFill, QColor(0x24, 0xA3, 0x5E, 153), 3),
                 qPrintable(rendering::describe(successFill)));
        // Rounded corners.
        QCOMPARE(rendering::at(rendering::render(&error), 0, 0).alpha(), 0);
    }

    void successBannerLeadsWithThePartyPopper()
    {
        auto *banner = new SuccessBanner(QStringLiteral("Your goals are saved."));
        Column column(banner, 400);
        QVERIFY(QTest::qWaitForWindowExposed(&column.window));
        BodyView *emoji = messageOf(banner, QStringLiteral("\U0001F389"));
        BodyView *message = messageOf(banner, QStringLiteral("Your goals are saved."));
        QVERIFY(emoji && message);
        QCOMPARE(emoji->x(), 16);
        QCOMPARE(message->x(), emoji->geometry().right() + 1 + 8);
        // The emoji is drawn in colour (from the colour emoji font), not as a Gray100 outline.
        const QImage image = rendering::render(emoji);
        bool coloured = false;
        for (int y = 0; y < image.height() && !coloured; ++y)
            for (int x = 0; x < image.width() && !coloured; ++x) {
                const QColor c = rendering::at(image, x, y);
                coloured = c.alpha() > 128 && std::abs(c.red() - c.blue()) > 60;
            }
        QVERIFY(coloured);
    }
};

QTEST_MAIN(BannersTest)
#include "tst_banners.moc"
