#include "designsystem/foundation/Fonts.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/foundation/Typography.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QTest>

using namespace brelta::designsystem;

namespace {
QFont trackedFont(const QString &name, BodySize size, qreal tracking)
{
    QFont font = Fonts::font(name, Typography::points(size)).value();
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

// Height of one line as measured: ascent + descent + the font's leading.
qreal lineHeight(const QFont &font)
{
    const QFontMetricsF metrics(font);
    return metrics.ascent() + metrics.descent() + std::max<qreal>(0, metrics.leading());
}
} // namespace

class TypographyTest : public QObject
{
    Q_OBJECT

private slots:
    void sizesFromPoints_data()
    {
        QTest::addColumn<double>("points");
        QTest::addColumn<int>("heading"); // -1 = none
        QTest::addColumn<int>("body");
        QTest::newRow("32 is h1") << 32.0 << int(HeadingSize::H1) << -1;
        QTest::newRow("24 is h2") << 24.0 << int(HeadingSize::H2) << -1;
        QTest::newRow("18 is h3") << 18.0 << int(HeadingSize::H3) << -1;
        QTest::newRow("20 is nothing") << 20.0 << -1 << -1;
        QTest::newRow("16 is large") << 16.0 << -1 << int(BodySize::Large);
        QTest::newRow("10 is tiny") << 10.0 << -1 << int(BodySize::Tiny);
        QTest::newRow("11 is nothing") << 11.0 << -1 << -1;
        QTest::newRow("fractional is nothing") << 14.5 << -1 << -1;
    }

    void sizesFromPoints()
    {
        QFETCH(double, points);
        QFETCH(int, heading);
        QFETCH(int, body);
        const auto headingSize = Typography::headingSizeFromPoints(points);
        QCOMPARE(headingSize ? int(*headingSize) : -1, heading);
        const auto bodySize = Typography::bodySizeFromPoints(points);
        QCOMPARE(bodySize ? int(*bodySize) : -1, body);
    }

    void shippedFontsResolveToTheirFaces_data()
    {
        QTest::addColumn<QString>("postScriptName");
        QTest::addColumn<int>("weight");
        QTest::newRow("Inter") << "Inter" << int(QFont::Normal);
        QTest::newRow("Inter-Medium") << "Inter-Medium" << int(QFont::Medium);
        QTest::newRow("Inter-Bold") << "Inter-Bold" << int(QFont::Bold);
        QTest::newRow("AnekBangla-SemiBold") << "AnekBangla-SemiBold" << int(QFont::DemiBold);
    }

    void shippedFontsResolveToTheirFaces()
    {
        QFETCH(QString, postScriptName);
        QFETCH(int, weight);
        const auto font = Fonts::font(postScriptName, 14);
        QVERIFY(font.has_value());
        const QFontInfo info(*font);
        QVERIFY2(info.family().startsWith(postScriptName.startsWith("Inter") ? "Inter" : "Anek Bangla"),
                 qPrintable(info.family()));
        QCOMPARE(int(info.weight()), weight);
        QCOMPARE(info.pixelSize(), 14);
        QVERIFY(!Fonts::font("Helvetica-Bold", 14).has_value());
    }

    void weightsUseTheirFonts()
    {
        QCOMPARE(Typography::fontName(BodyWeight::Regular), QStringLiteral("Inter"));
        QCOMPARE(Typography::fontName(BodyWeight::Medium), QStringLiteral("Inter-Medium"));
        QCOMPARE(Typography::fontName(BodyWeight::Bold), QStringLiteral("Inter-Bold"));
        // QFont keeps spacing in 1/64 px.
        QVERIFY(qAbs(Typography::bodyFont(BodySize::Small, BodyWeight::Bold).letterSpacing() - 0.35) <= 1.0 / 64);
        QVERIFY(qAbs(Typography::headingFont(HeadingSize::H2).letterSpacing() - 0.4) <= 1.0 / 64);
        QCOMPARE(Typography::headingFont(HeadingSize::H2).pixelSize(), 24);
    }

    void measuresOneLineWithTracking_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("fontName");
        QTest::addColumn<int>("size");
        QTest::addColumn<qreal>("tracking");
        QTest::newRow("alert title, Inter-Bold")
            << int(TypographyType::Heading) << "Inter-Bold" << int(BodySize::Medium) << 0.4;
        QTest::newRow("alert message, Inter") << int(TypographyType::Body) << "Inter" << int(BodySize::Medium) << 0.35;
        QTest::newRow("tiny Inter-Medium")
            << int(TypographyType::Body) << "Inter-Medium" << int(BodySize::Tiny) << 0.35;
    }

    void measuresOneLineWithTracking()
    {
        QFETCH(int, type);
        QFETCH(QString, fontName);
        QFETCH(int, size);
        QFETCH(qreal, tracking);
        const QString text = QStringLiteral("The session was too short");
        const QRectF box = Typography::measureText(TypographyType(type), text, fontName, BodySize(size), 1000, 1000);

        const QFont untracked = trackedFont(fontName, BodySize(size), 0);
        const qreal plainWidth = QFontMetricsF(untracked).horizontalAdvance(text);
        QCOMPARE(box.topLeft(), QPointF(0, 0));
        // Tracking adds its amount after every character.
        QVERIFY2(qAbs(box.width() - (plainWidth + text.size() * tracking)) <= 1.0,
                 qPrintable(QString("width %1, untracked %2").arg(box.width()).arg(plainWidth)));
        QVERIFY2(qAbs(box.height() - lineHeight(untracked)) <= 1.0, qPrintable(QString::number(box.height())));
    }

    void lineSpacingGoesBetweenLines_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qreal>("spacing");
        QTest::newRow("heading: 1.2") << int(TypographyType::Heading) << 1.2;
        QTest::newRow("body: 1.4") << int(TypographyType::Body) << 1.4;
    }

    void lineSpacingGoesBetweenLines()
    {
        QFETCH(int, type);
        QFETCH(qreal, spacing);
        const QFont font = trackedFont("Inter", BodySize::Medium, 0);
        const qreal line = lineHeight(font);
        const QRectF three =
            Typography::measureText(TypographyType(type), "one\ntwo\nthree", "Inter", BodySize::Medium, 400, 10000);
        QVERIFY2(qAbs(three.height() - (3 * line + 2 * spacing)) <= 1.0, qPrintable(QString::number(three.height())));
        QVERIFY(qAbs(three.height() - (3 * line + 2 * spacing)) < qAbs(three.height() - 3 * line));
    }

    void wrapsAtTheGivenWidth()
    {
        const QString message =
            QStringLiteral("Something went wrong. Please try again. Your recording is kept on this computer.");
        const qreal width = 180;
        const QRectF box =
            Typography::measureText(TypographyType::Body, message, "Inter", BodySize::Medium, width, 10000);
        const qreal line = lineHeight(trackedFont("Inter", BodySize::Medium, 0));
        const int lines = qRound((box.height() + 1.4) / (line + 1.4));
        QVERIFY2(lines >= 3, qPrintable(QString::number(lines)));
        QVERIFY(box.width() <= width);
        QVERIFY2(qAbs(box.height() - (lines * line + (lines - 1) * 1.4)) <= 1.0,
                 qPrintable(QString::number(box.height())));
    }

    void aBoxTooShortLeavesLaterLinesOut()
    {
        const QString text = QStringLiteral("one\ntwo\nthree\nfour");
        const QRectF all = Typography::measureText(TypographyType::Body, text, "Inter", BodySize::Small, 300, 10000);
        const QRectF cut =
            Typography::measureText(TypographyType::Body, text, "Inter", BodySize::Small, 300, all.height() / 2);
        QVERIFY(cut.height() < all.height());
        QVERIFY(cut.height() > 0);
        const QRectF none = Typography::measureText(TypographyType::Body, text, "Inter", BodySize::Small, 300, 0);
        QVERIFY2(none.height() > 0, "the first line always counts");
    }

    void measuringDependsOnlyOnItsArguments()
    {
        const auto measure = [] {
            return Typography::measureText(TypographyType::Heading, "Unable to process your recording", "Inter-Bold",
                                           BodySize::Large, 220, 10000);
        };
        const QRectF first = measure();
        QCOMPARE(measure(), first);
        QVERIFY(first.height()
                > Typography::measureText(TypographyType::Heading, "Unable", "Inter-Bold", BodySize::Large, 220, 10000)
                      .height());
    }

    void unknownFontMeasuresWithTheDefaultFont()
    {
        const QRectF box =
            Typography::measureText(TypographyType::Body, "Hello", "NoSuchFont-Regular", BodySize::Large, 300, 300);
        QVERIFY(box.width() > 0);
        QVERIFY(box.height() >= 16);
    }

    void drawnViewsUseOnePixelBetweenLines()
    {
        BodyView body(QStringLiteral("first\nsecond"), BodySize::Medium, BodyWeight::Regular, Qt::white);
        const qreal line = lineHeight(trackedFont("Inter", BodySize::Medium, 0));
        QVERIFY2(qAbs(body.heightForWidth(400) - (2 * line + 1.0)) <= 1.0,
                 qPrintable(QString::number(body.heightForWidth(400))));
        QVERIFY(body.heightForWidth(30) > body.heightForWidth(400)); // narrower wraps more

        HeadingView heading(QStringLiteral("Welcome"), HeadingSize::H1, Qt::white);
        QCOMPARE(heading.font().pixelSize(), 32);
        QVERIFY(QFontInfo(heading.font()).family().startsWith("Anek Bangla"));
        heading.setHeadingSize(HeadingSize::H3);
        QCOMPARE(heading.font().pixelSize(), 18);
    }

    void bodyWeightIsFixedWhenMade()
    {
        BodyView body(QStringLiteral("Goals"), BodySize::Small, BodyWeight::Bold, Qt::white);
        body.setBodySize(BodySize::Large);
        QCOMPARE(body.weight(), BodyWeight::Bold);
        QCOMPARE(QFontInfo(body.font()).weight(), int(QFont::Bold));
        QCOMPARE(body.font().pixelSize(), 16);
    }

    void emojiRenderInColour()
    {
        BodyView body(QStringLiteral("🎉"), BodySize::Large, BodyWeight::Regular, Qt::white);
        body.resize(body.sizeHint());
        QImage image(body.size(), QImage::Format_ARGB32);
        image.fill(Qt::black);
        body.render(&image, {}, {}, QWidget::DrawChildren);
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                coloured += QColor(image.pixel(x, y)).hsvSaturation() > 100 ? 1 : 0;
        QVERIFY2(coloured > 20, "the party popper came out without colour: no colour emoji font");
    }

    void textIsShownAsWritten()
    {
        BodyView body(QStringLiteral("settings.title"), BodySize::Small, BodyWeight::Regular, Qt::white);
        QCOMPARE(body.text(), QStringLiteral("settings.title"));
    }
};

QTEST_MAIN(TypographyTest)
#include "tst_typography.moc"
