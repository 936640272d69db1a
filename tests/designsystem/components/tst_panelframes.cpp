#include "Rendering.h"
#include "testsupport/TestOutput.h"

#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/NotificationWrapperView.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"

#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

namespace {

using brelta::testsupport::outputFolder;

// The panel as it shows in the main popover: on the dark background.
bool saveOnBackground(QWidget *panel, const QString &name)
{
    QImage image(panel->size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.fillRect(image.rect(), Gradients::background(QRectF(image.rect())));
    panel->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image.save(QDir(outputFolder()).filePath(name + QStringLiteral(".png")));
}

} // namespace

class PanelFramesTest : public QObject
{
    Q_OBJECT

private slots:
    void containerFramesItsContentBelowTheHeader()
    {
        auto *content = new QWidget;
        content->setFixedHeight(100);
        WidgetContainerView panel(QStringLiteral("Notifications & more"), content);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCOMPARE(panel.size(), QSize(355, 400));
        QCOMPARE(panel.backButton()->title(), QStringLiteral("Notifications & more"));
        const QRect back = panel.backButton()->geometry();
        QCOMPARE(back.topLeft(), QPoint(16, 16));
        // 16 below the header, inside the padding.
        QCOMPARE(content->geometry().top(), back.bottom() + 1 + 16);
        QCOMPARE(content->geometry().left(), 16);
        QCOMPARE(content->geometry().width(), 355 - 32);
    }

    void backButtonWorksUnlessLoading()
    {
        WidgetContainerView panel(QStringLiteral("Settings"), new QWidget);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QSignalSpy back(&panel, &WidgetContainerView::backPressed);
        QTest::mouseClick(panel.backButton(), Qt::LeftButton);
        QCOMPARE(back.size(), 1);

        const QImage arrow = rendering::render(panel.backButton());
        panel.setLoading(true);
        QVERIFY(!panel.backButton()->isEnabled());
        QTest::mouseClick(panel.backButton(), Qt::LeftButton);
        QCOMPARE(back.size(), 1);
        QVERIFY(rendering::render(panel.backButton()) != arrow);

        panel.setLoading(false);
        QTest::mouseClick(panel.backButton(), Qt::LeftButton);
        QCOMPARE(back.size(), 2);
        QCOMPARE(rendering::render(panel.backButton()), arrow);
    }

    // Back button, spacer, banner, spacer, control: the control ends the row, the banner lies between.
    void errorAndControlEndTheHeaderInOrder()
    {
        WidgetContainerView panel(QStringLiteral("Meetings"), new QWidget);
        panel.setLoading(true);
        panel.setError(QStringLiteral("Could not load"));
        auto *control = new BrandButton(QStringLiteral("Refresh"), std::nullopt, BrandButton::Type::Secondary,
                                        BrandButton::Shape::Pill, BrandButton::Size::Tiny);
        panel.setHeaderRight(control);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCOMPARE(panel.error(), std::optional<QString>(QStringLiteral("Could not load")));
        const QRect back = panel.backButton()->geometry();
        const QRect banner = panel.errorBanner()->geometry();
        QVERIFY2(back.right() < banner.left(), "the banner follows the back button");
        QVERIFY2(banner.right() < control->geometry().left(), "the control follows the banner");
        QCOMPARE(control->geometry().right(), 355 - 16 - 1);
        QVERIFY(saveOnBackground(&panel, QStringLiteral("container-loading-error")));

        panel.setError(std::nullopt);
        QVERIFY(!panel.errorBanner());
        QVERIFY(!panel.error());
        QCOMPARE(control->geometry().right(), 355 - 16 - 1);
        panel.setHeaderRight(nullptr);
        QVERIFY(!panel.headerRight());
    }

    void wrapperIsFixedWidthOnTheBackground()
    {
        auto *content = new QWidget;
        content->setFixedHeight(120);
        NotificationWrapperView wrapper(content);
        wrapper.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wrapper));
        QCOMPARE(wrapper.width(), 384);
        QCOMPARE(wrapper.height(), 120);
        const QImage image = rendering::render(&wrapper);
        const QLinearGradient gradient = Gradients::background(QRectF(wrapper.rect()));
        QVERIFY(rendering::near(rendering::at(image, 1, 1), gradient.stops().first().second, 12));
    }
};

QTEST_MAIN(PanelFramesTest)
#include "tst_panelframes.moc"
