#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/ResourceBundle.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

namespace {
struct Ink
{
    int painted = 0; // pixels with any alpha
    int solid = 0;   // fully opaque pixels
    int maxAlpha = 0;
    int offTint = 0; // painted pixels whose colour is not the tint
    QRect bounds;
};

Ink inkOf(const QImage &image, const QColor &tint)
{
    Ink ink;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            ++ink.painted;
            ink.bounds |= QRect(x, y, 1, 1);
            ink.maxAlpha = std::max(ink.maxAlpha, qAlpha(pixel));
            if (qAlpha(pixel) == 255)
                ++ink.solid;
            if (qAlpha(pixel) > 64
                && (qAbs(qRed(pixel) - tint.red()) > 8 || qAbs(qGreen(pixel) - tint.green()) > 8
                    || qAbs(qBlue(pixel) - tint.blue()) > 8))
                ++ink.offTint;
        }
    }
    return ink;
}
} // namespace

class IconsTest : public QObject
{
    Q_OBJECT

private slots:
    void rawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("expected"); // -1 = none
        QTest::newRow("google-calendar") << "google-calendar" << int(IconName::GoogleCalendar);
        QTest::newRow("default") << "default" << int(IconName::Default);
        QTest::newRow("repeat") << "repeat" << int(IconName::Repeat);
        QTest::newRow("add-user") << "add-user" << int(IconName::AddUser);
        QTest::newRow("plain name") << "mic" << int(IconName::Mic);
        QTest::newRow("case name instead of raw value") << "googleCalendar" << -1;
        QTest::newRow("case name addUser") << "addUser" << -1;
        QTest::newRow("upper-case letter") << "Google-calendar" << -1;
        QTest::newRow("trailing space") << "mic " << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void rawValues()
    {
        QFETCH(QString, raw);
        QFETCH(int, expected);
        const auto name = Icons::fromRawValue(raw);
        QCOMPARE(name ? int(*name) : -1, expected);
    }

    void everyNameRoundTripsThroughItsRawValue()
    {
        QSet<QString> raws;
        for (IconName name : Icons::all()) {
            raws.insert(Icons::rawValue(name));
            QCOMPARE(Icons::fromRawValue(Icons::rawValue(name)), name);
        }
        QCOMPARE(Icons::all().size(), std::size_t(50));
        QCOMPARE(raws.size(), qsizetype(Icons::all().size()));
        // all() lists every case once, in the enum's order, so a case index is a position in it.
        for (std::size_t i = 0; i < Icons::all().size(); ++i)
            QCOMPARE(std::size_t(Icons::all()[i]), i);
        QCOMPARE(Icons::rawValue(IconName::Default), QStringLiteral("default"));
        QCOMPARE(Icons::rawValue(IconName::Repeat), QStringLiteral("repeat"));
        QCOMPARE(Icons::rawValue(IconName::SpeechBubble), QStringLiteral("speech-bubble"));
    }

    void bundleHoldsExactlyTheNamedIcons()
    {
        QSet<QString> files;
        for (const QString &file : QDir(ResourceBundle::path() + "/icons").entryList({"*.svg"}, QDir::Files))
            files.insert(file.chopped(4));
        QSet<QString> names;
        for (IconName name : Icons::all())
            names.insert(Icons::rawValue(name));
        QCOMPARE(files, names);
    }

    void iconsAreTintableOnTheSharedGrid()
    {
        for (IconName name : Icons::all()) {
            QFile file(Icons::svgPath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray svg = file.readAll();
            QVERIFY2(svg.contains("viewBox=\"0 0 24 24\""), qPrintable(Icons::rawValue(name)));
            QVERIFY2(svg.contains("currentColor"), qPrintable(Icons::rawValue(name)));
            QVERIFY2(!svg.contains("#"), qPrintable(Icons::rawValue(name) + " carries a colour of its own"));
            QVERIFY2(svg.contains("stroke-width=\"2\""), qPrintable(Icons::rawValue(name)));
        }
    }

    void everyIconRendersAtEverySize_data()
    {
        QTest::addColumn<IconName>("name");
        QTest::addColumn<int>("side");
        for (IconName name : Icons::all()) {
            for (int side : {12, 16, 24, 32})
                QTest::addRow("%s@%d", qPrintable(Icons::rawValue(name)), side) << name << side;
        }
    }

    void everyIconRendersAtEverySize()
    {
        QFETCH(IconName, name);
        QFETCH(int, side);
        const QColor tint(0xF6, 0xF4, 0xFA);
        const QImage image = Icons::image(name, side, tint);
        QCOMPARE(image.size(), QSize(side, side));
        const Ink ink = inkOf(image, tint);
        QVERIFY2(ink.painted >= side, "renders (almost) nothing");
        QVERIFY2(ink.painted < side * side * 0.8, "fills the square");
        QCOMPARE(ink.offTint, 0);
        // Drawn as vectors at the target size, not a scaled bitmap: on the native 24 grid and above, the
        // 2-unit strokes cover whole pixels. (At 12 and 16 px they are thinner than two pixels and antialiased.)
        if (side >= 24)
            QVERIFY2(ink.solid >= side / 2, qPrintable(QString("only %1 solid pixels").arg(ink.solid)));
        QVERIFY2(ink.maxAlpha >= 128, qPrintable(QString("faint: alpha at most %1").arg(ink.maxAlpha)));
        // Nothing is cut by the square's edge.
        QVERIFY(ink.bounds.left() >= 0 && ink.bounds.right() < side);
    }

    void renderingFollowsScaleAndTint()
    {
        const QImage doubled = Icons::image(IconName::Mic, 16, Qt::red, 2.0);
        QCOMPARE(doubled.size(), QSize(32, 32));
        QCOMPARE(doubled.devicePixelRatio(), 2.0);
        QCOMPARE(inkOf(doubled, Qt::red).offTint, 0);
        const QImage translucent = Icons::image(IconName::Mic, 24, QColor(255, 255, 255, 128));
        int maxAlpha = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                maxAlpha = std::max(maxAlpha, qAlpha(translucent.pixel(x, y)));
        QVERIFY2(maxAlpha <= 130 && maxAlpha >= 120, qPrintable(QString::number(maxAlpha)));
    }

    void iconViewOccupiesItsSquare_data()
    {
        QTest::addColumn<IconSize>("size");
        QTest::addColumn<int>("side");
        QTest::newRow("large") << IconSize::Large << 32;
        QTest::newRow("medium") << IconSize::Medium << 24;
        QTest::newRow("small") << IconSize::Small << 16;
        QTest::newRow("tiny") << IconSize::Tiny << 12;
    }

    void iconViewOccupiesItsSquare()
    {
        QFETCH(IconSize, size);
        QFETCH(int, side);
        IconView view(IconName::ExternalLink, size);
        QCOMPARE(view.sizeHint(), QSize(side, side));
        QCOMPARE(view.minimumSize(), QSize(side, side));
        QCOMPARE(view.maximumSize(), QSize(side, side));
        QCOMPARE(Icons::sizeFromPoints(side), size);
    }

    void sizeEnumsFromPoints()
    {
        QCOMPARE(Icons::sizeFromPoints(20), std::nullopt);
        QCOMPARE(IconButton::sizeFromPoints(40), IconButton::Size::Large);
        QCOMPARE(IconButton::sizeFromPoints(32), IconButton::Size::Medium);
        QCOMPARE(IconButton::sizeFromPoints(24), std::nullopt);
    }

    void iconButtonIsAFilledCircleWithASmallIcon_data()
    {
        QTest::addColumn<IconButton::Size>("size");
        QTest::addColumn<int>("diameter");
        QTest::newRow("large") << IconButton::Size::Large << 40;
        QTest::newRow("medium") << IconButton::Size::Medium << 32;
    }

    void iconButtonIsAFilledCircleWithASmallIcon()
    {
        QFETCH(IconButton::Size, size);
        QFETCH(int, diameter);
        const QColor fill(20, 120, 220);
        IconButton button(IconName::More, size, fill);
        button.setIconColor(QColor(255, 0, 0));
        button.show();
        QCOMPARE(button.size(), QSize(diameter, diameter));
        const QImage image = button.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.pixel(diameter / 2, 4), fill.rgb()); // inside the circle, above the icon
        QVERIFY(image.pixel(0, 0) != fill.rgb());           // the corner is outside it
        // The icon is 16 px whatever the diameter: its ink lies in the central 16 x 16 square.
        QRect ink;
        for (int y = 0; y < diameter; ++y)
            for (int x = 0; x < diameter; ++x)
                if (qRed(image.pixel(x, y)) > 100 && qGreen(image.pixel(x, y)) < 100)
                    ink |= QRect(x, y, 1, 1);
        QVERIFY(!ink.isEmpty());
        const QRect centre((diameter - 16) / 2, (diameter - 16) / 2, 16, 16);
        QVERIFY2(centre.contains(ink),
                 qPrintable(QString("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    }

    void iconButtonRunsItsActionOncePerPress()
    {
        IconButton button(IconName::Close, IconButton::Size::Large, Qt::gray);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QSignalSpy clicked(&button, &IconButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clicked.count(), 1);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clicked.count(), 2);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1)); // square corner, outside the circle
        QCOMPARE(clicked.count(), 2);
        button.setFocus(Qt::TabFocusReason);
        QTest::keyClick(&button, Qt::Key_Space);
        QCOMPARE(clicked.count(), 3);
    }
};

QTEST_MAIN(IconsTest)
#include "tst_icons.moc"
