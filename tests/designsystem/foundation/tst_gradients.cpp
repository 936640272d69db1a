#include "designsystem/foundation/GradientContainer.h"
#include "designsystem/foundation/Gradients.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace brelta::designsystem;

namespace {
const QColor backgroundStart(71, 38, 92);
const QColor backgroundEnd(49, 55, 86);
const QColor brandStart(142, 69, 249);
const QColor brandEnd(165, 84, 246);
const QColor pageColor(10, 200, 10); // nothing in the kit is this green

// Each channel within `tolerance` (gradients are dithered/rounded per pixel).
bool near(QRgb pixel, const QColor &expected, int tolerance = 3)
{
    return qAbs(qRed(pixel) - expected.red()) <= tolerance && qAbs(qGreen(pixel) - expected.green()) <= tolerance
           && qAbs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QString describe(QRgb pixel)
{
    return QStringLiteral("rgb(%1, %2, %3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QWidget *content(int width, int height)
{
    auto *widget = new QWidget;
    widget->setFixedSize(width, height);
    return widget;
}

// The container on a plain page of `pageSize`, rendered.
QImage render(GradientContainer *container, QSize pageSize, Qt::LayoutDirection direction = Qt::LeftToRight)
{
    QWidget page;
    page.setLayoutDirection(direction);
    page.setFixedSize(pageSize);
    QPalette palette;
    palette.setColor(QPalette::Window, pageColor);
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    container->setParent(&page);
    container->setGeometry(QRect(QPoint(0, 0), pageSize));
    page.show();
    return page.grab().toImage();
}

#define VERIFY_PIXEL(image, x, y, expected)                                                                            \
    QVERIFY2(near((image).pixel((x), (y)), (expected)), qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4") \
                                                                       .arg(x)                                         \
                                                                       .arg(y)                                         \
                                                                       .arg(describe((image).pixel((x), (y))))         \
                                                                       .arg(describe((expected).rgb()))))
} // namespace

class GradientsTest : public QObject
{
    Q_OBJECT

private slots:
    void colourListsHoldTheTwoStops()
    {
        const QGradientStops background = Gradients::backgroundColors();
        QCOMPARE(background.size(), 2);
        QCOMPARE(background[0], QGradientStop(0.0, backgroundStart));
        QCOMPARE(background[1], QGradientStop(1.0, backgroundEnd));
        const QGradientStops brand = Gradients::brandColors();
        QCOMPARE(brand.size(), 2);
        QCOMPARE(brand[0], QGradientStop(0.0, brandStart));
        QCOMPARE(brand[1], QGradientStop(1.0, brandEnd));
    }

    void backgroundRunsFromTopLeadingToBottomTrailing()
    {
        const QImage image = render(new BackgroundGradientContainer(content(200, 100)), QSize(200, 100));
        VERIFY_PIXEL(image, 0, 0, backgroundStart);
        VERIFY_PIXEL(image, 199, 99, backgroundEnd);
        VERIFY_PIXEL(image, 100, 50, mix(backgroundStart, backgroundEnd, 0.5));
        // Diagonal: the axis runs corner to corner, so the other two corners sit at 0.8 and 0.2 of it
        // (their projections on the 200 x 100 diagonal), not at a horizontal or vertical position.
        VERIFY_PIXEL(image, 199, 0, mix(backgroundStart, backgroundEnd, 0.8));
        VERIFY_PIXEL(image, 0, 99, mix(backgroundStart, backgroundEnd, 0.2));
    }

    void brandRunsFromLeadingToTrailing()
    {
        const QImage image = render(new BrandGradientContainer(content(200, 100)), QSize(200, 100));
        VERIFY_PIXEL(image, 0, 50, brandStart);
        VERIFY_PIXEL(image, 199, 50, brandEnd);
        VERIFY_PIXEL(image, 100, 50, mix(brandStart, brandEnd, 0.5));
        // Horizontal: each column is one colour from top to bottom.
        for (int x : {0, 50, 150, 199})
            QCOMPARE(image.pixel(x, 0), image.pixel(x, 99));
    }

    void rightToLeftLayoutsStartAtTheRight()
    {
        const QImage brand = render(new BrandGradientContainer(content(200, 100)), QSize(200, 100), Qt::RightToLeft);
        VERIFY_PIXEL(brand, 199, 50, brandStart);
        VERIFY_PIXEL(brand, 0, 50, brandEnd);
        const QImage background =
            render(new BackgroundGradientContainer(content(200, 100)), QSize(200, 100), Qt::RightToLeft);
        VERIFY_PIXEL(background, 199, 0, backgroundStart);
        VERIFY_PIXEL(background, 0, 99, backgroundEnd);
    }

    void gradientCoversExactlyTheContent()
    {
        // Content 200 x 100 centred in a 300 x 200 container: the gradient spans the content only.
        const QImage image = render(new BackgroundGradientContainer(content(200, 100)), QSize(300, 200));
        VERIFY_PIXEL(image, 49, 100, pageColor);
        VERIFY_PIXEL(image, 150, 49, pageColor);
        VERIFY_PIXEL(image, 250, 150, pageColor);
        VERIFY_PIXEL(image, 50, 50, backgroundStart);
        VERIFY_PIXEL(image, 249, 149, backgroundEnd);
    }

    void emptyContentShowsNoGradient()
    {
        const QImage image = render(new BrandGradientContainer(content(0, 0)), QSize(100, 100));
        for (int y = 0; y < image.height(); y += 10) {
            for (int x = 0; x < image.width(); x += 10)
                VERIFY_PIXEL(image, x, y, pageColor);
        }
    }
};

QTEST_MAIN(GradientsTest)
#include "tst_gradients.moc"
