// The onboarding page frames and background: what each page shows and where, with and without its
// optional parts, and the menu's quit entry. Screenshots of the frames go to the test output folder.

#include "designsystem/components/BrandMenu.h"
#include "designsystem/components/HighlightBlurView.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/frames/OnboardingIconElement.h"
#include "screens/frames/OnboardingMenuElement.h"
#include "screens/frames/PageTitleBlock.h"
#include "screens/frames/ScreenImage.h"
#include "testsupport/TestOutput.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace brelta;
using namespace brelta::screens;

namespace {

constexpr QSize kPopover(355, 515);

using brelta::testsupport::outputFolder;

// A page laid out at the popover's size, shown so geometry is final.
template<typename Page>
void layOut(Page &page)
{
    page.resize(kPopover);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
}

} // namespace

class TestPageFrames : public QObject
{
    Q_OBJECT

private slots:
    void titleBlockTakesRoomOnlyForWhatItHas_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("subtitle");
        QTest::addColumn<bool>("empty");
        QTest::newRow("neither") << std::optional<QString>() << std::optional<QString>() << true;
        QTest::newRow("title only") << std::optional<QString>(QStringLiteral("Welcome")) << std::optional<QString>()
                                    << false;
        QTest::newRow("subtitle only") << std::optional<QString>() << std::optional<QString>(QStringLiteral("Hi"))
                                       << false;
    }

    void titleBlockTakesRoomOnlyForWhatItHas()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, subtitle);
        QFETCH(bool, empty);
        PageTitleBlock block(title, subtitle);
        QCOMPARE(block.titleView() != nullptr, title.has_value());
        QCOMPARE(block.subtitleView() != nullptr, subtitle.has_value());
        QCOMPARE(block.sizeHint().height() == 0, empty);
    }

    void iconPageKeepsItsIconGapWithoutAnIcon()
    {
        OnboardingIconElement withIcon(QStringLiteral("Goals"), QStringLiteral("Pick up to three"),
                                       designsystem::IconName::Calendar, {}, nullptr);
        OnboardingIconElement withoutIcon(QStringLiteral("Goals"), QStringLiteral("Pick up to three"), std::nullopt, {},
                                          nullptr);
        layOut(withIcon);
        layOut(withoutIcon);

        QVERIFY(withIcon.icon());
        QCOMPARE(withIcon.icon()->iconSize(), designsystem::IconSize::Large);
        QVERIFY(!withoutIcon.icon());
        QCOMPARE(withoutIcon.iconFrame()->size(), QSize(80, 80));
        QCOMPARE(withoutIcon.iconFrame()->geometry(), withIcon.iconFrame()->geometry());
        QCOMPARE(withoutIcon.titleBlock()->geometry(), withIcon.titleBlock()->geometry());
        QCOMPARE(withIcon.iconFrame()->y(), OnboardingIconElement::kVerticalPadding);
        QCOMPARE(withIcon.titleBlock()->y(), 40 + 80 + 40);
    }

    // A subtitle that wraps gets the height of all its lines, and they stay centred.
    void wrappedSubtitleKeepsItsHeightAndCentring()
    {
        OnboardingIconElement page(QStringLiteral("Turn on microphone"),
                                   QStringLiteral("To use the Brelta app, we need to access your microphone."),
                                   designsystem::IconName::Calendar, {}, nullptr);
        layOut(page);
        designsystem::BodyView *subtitle = page.titleBlock()->subtitleView();
        designsystem::HeadingView *title = page.titleBlock()->titleView();
        QVERIFY(subtitle->height() > subtitle->minimumSizeHint().height()); // more than one line
        QCOMPARE(subtitle->height(), subtitle->heightForWidth(subtitle->width()));
        QCOMPARE(title->height(), title->heightForWidth(title->width()));
        QCOMPARE(subtitle->alignment(), Qt::AlignHCenter);
        QVERIFY(subtitle->geometry().top() >= title->geometry().bottom());
    }

    void skipShowsOnlyWithAnActionAndCallsItOnce()
    {
        OnboardingIconElement plain(QStringLiteral("Step"), std::nullopt, std::nullopt, {}, nullptr);
        QVERIFY(!plain.skipButton());

        int skips = 0;
        OnboardingIconElement page(
            QStringLiteral("Step"), std::nullopt, std::nullopt, [&skips] { ++skips; }, nullptr);
        layOut(page);
        QWidget *skip = page.skipButton();
        QVERIFY(skip);
        QVERIFY(skip->isVisible());
        QCOMPARE(skip->geometry().right() + 1, kPopover.width() - 24);
        QCOMPARE(skip->y(), 40);
        QTest::mouseClick(skip, Qt::LeftButton);
        QCOMPARE(skips, 1);
    }

    void menuPageShowsLogoMenuAndCentredTitle()
    {
        auto *bottom = new QLabel(QStringLiteral("bottom"));
        bottom->setFixedHeight(100);
        OnboardingMenuElement page(QStringLiteral("Sign in"), QStringLiteral("Log in"), nullptr, bottom);
        layOut(page);

        QVERIFY(page.logo()->isValid());
        QCOMPARE(page.logo()->width(), OnboardingMenuElement::kLogoWidth);
        QCOMPARE(page.logo()->x(), 24);
        QCOMPARE(page.menuButton()->geometry().right() + 1, kPopover.width() - 24);
        QCOMPARE(bottom->geometry().bottom() + 1, kPopover.height() - 24);
        QVERIFY(!page.middleContent());

        // Centred between the top row and the bottom content, 40 from each.
        const int top = std::max(page.logo()->geometry().bottom(), page.menuButton()->geometry().bottom()) + 1 + 40;
        const int free = bottom->y() - 40 - top;
        const QRect title = page.titleBlock()->geometry();
        QVERIFY(qAbs((title.y() - top) - (free - title.height()) / 2) <= 1);
    }

    void quitEntryEmitsQuitChosenOnce()
    {
        OnboardingMenuElement page(std::nullopt, std::nullopt, nullptr, nullptr);
        QSignalSpy quit(&page, &OnboardingMenuElement::quitChosen);
        const auto items = page.menuButton()->menu()->findChildren<designsystem::BrandMenuItem *>();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first()->title(), OnboardingMenuElement::kQuitTitle);
        QVERIFY(!items.first()->icon());
        items.first()->click();
        QCOMPARE(quit.count(), 1);
    }

    void backgroundStacksOverlayGlowAndContent_data()
    {
        QTest::addColumn<bool>("withHighlight");
        QTest::newRow("highlight") << true;
        QTest::newRow("plain") << false;
    }

    void backgroundStacksOverlayGlowAndContent()
    {
        QFETCH(bool, withHighlight);
        auto *content = new QWidget;
        OnboardingBackgroundView background(withHighlight, content);
        layOut(background);

        QVERIFY(background.overlay()->isValid());
        QCOMPARE(background.overlay()->geometry(), background.rect());
        QCOMPARE(content->geometry(), background.rect());
        QCOMPARE(background.highlight() != nullptr, withHighlight);
        if (withHighlight) {
            QCOMPARE(background.highlight()->size(), QSize(280, 120));
            const QPointF offCentre =
                QRectF(background.highlight()->geometry()).center() - QRectF(background.rect()).center();
            QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);
        }
        // The content is in front of every other layer.
        QCOMPARE(background.children().last(), content);

        // The gradient runs from the dark purple top-leading corner to the blue bottom-trailing one.
        const QImage shot = background.grab().toImage();
        const QColor topLeft = shot.pixelColor(2, 2);
        const QColor bottomRight = shot.pixelColor(shot.width() - 3, shot.height() - 3);
        QVERIFY2(topLeft.red() > bottomRight.red(), qPrintable(topLeft.name() + " vs " + bottomRight.name()));
        QVERIFY(bottomRight.blue() > bottomRight.red());
        // The glow lifts the red of the centre above what the plain background has there.
        const QColor centre = shot.pixelColor(shot.width() / 2, shot.height() / 2);
        if (withHighlight)
            QVERIFY2(centre.red() > 100, qPrintable(centre.name()));
        else
            QVERIFY2(centre.red() < 100, qPrintable(centre.name()));
    }

    void screenshots()
    {
        auto *menuPage = new OnboardingMenuElement(QStringLiteral("Welcome to Brelta"),
                                                   QStringLiteral("Your personal meeting coach."), nullptr,
                                                   new QLabel(QStringLiteral("bottom content")));
        OnboardingBackgroundView welcome(true, menuPage);
        layOut(welcome);
        QVERIFY(welcome.grab().save(QDir(outputFolder()).filePath(QStringLiteral("frame-menu.png"))));

        auto *iconPage = new OnboardingIconElement(
            QStringLiteral("Connect your calendar"), QStringLiteral("Get a reminder before each meeting."),
            designsystem::IconName::Calendar, [] {}, nullptr);
        OnboardingBackgroundView step(false, iconPage);
        layOut(step);
        QVERIFY(step.grab().save(QDir(outputFolder()).filePath(QStringLiteral("frame-icon.png"))));
    }
};

QTEST_MAIN(TestPageFrames)
#include "tst_pageframes.moc"
