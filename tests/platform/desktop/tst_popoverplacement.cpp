#include "platform/desktop/PopoverPlacement.h"

#include <QTest>

using brelta::platform::desktop::chooseAnchor;
using brelta::platform::desktop::kPopoverGap;
using brelta::platform::desktop::placePopover;
using brelta::platform::desktop::PopoverAnchor;

Q_DECLARE_METATYPE(PopoverAnchor::Kind)
Q_DECLARE_METATYPE(std::optional<QPoint>)

namespace {

// A 1280 x 800 screen with a 32-pixel panel at the top.
const QRect kAvailable(0, 32, 1280, 768);

PopoverAnchor icon(const QRect &rect)
{
    return {PopoverAnchor::Kind::IconGeometry, rect};
}

PopoverAnchor pointer(int x, int y)
{
    return {PopoverAnchor::Kind::Pointer, QRect(x, y, 1, 1)};
}

} // namespace

class PopoverPlacementTest : public QObject
{
    Q_OBJECT

private slots:
    void anchorFollowsWhatTheHostTells_data()
    {
        QTest::addColumn<QRect>("iconGeometry");
        QTest::addColumn<std::optional<QPoint>>("pointer");
        QTest::addColumn<PopoverAnchor::Kind>("kind");
        QTest::addColumn<QRect>("rect");

        QTest::newRow("XEmbed: the icon's geometry wins over the pointer")
            << QRect(1200, 4, 24, 24) << std::optional(QPoint(5, 5)) << PopoverAnchor::Kind::IconGeometry
            << QRect(1200, 4, 24, 24);
        QTest::newRow("StatusNotifierItem: no geometry, the pointer at activation")
            << QRect() << std::optional(QPoint(1000, 10)) << PopoverAnchor::Kind::Pointer << QRect(1000, 10, 1, 1);
        QTest::newRow("an empty geometry counts as none")
            << QRect(1200, 4, 0, 0) << std::optional(QPoint(7, 9)) << PopoverAnchor::Kind::Pointer << QRect(7, 9, 1, 1);
        QTest::newRow("no host: the top-right corner of the available area")
            << QRect() << std::optional<QPoint>() << PopoverAnchor::Kind::ScreenCorner << QRect(1279, 32, 1, 1);
    }

    void anchorFollowsWhatTheHostTells()
    {
        QFETCH(QRect, iconGeometry);
        QFETCH(std::optional<QPoint>, pointer);
        QFETCH(PopoverAnchor::Kind, kind);
        QFETCH(QRect, rect);
        const PopoverAnchor anchor = chooseAnchor(iconGeometry, pointer, kAvailable);
        QCOMPARE(anchor.kind, kind);
        QCOMPARE(anchor.rect, rect);
    }

    void placement_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<PopoverAnchor>("anchor");
        QTest::addColumn<QRect>("expected");

        const int below = 32; // the gap under the pointer would reach into the panel
        QTest::newRow("centred below an icon in the top panel")
            << QSize(355, 180) << icon(QRect(600, 4, 24, 24)) << QRect(611 - 177, 28 + kPopoverGap, 355, 180);
        QTest::newRow("below, but kept inside the panel-free area (pointer on the panel)")
            << QSize(355, 180) << pointer(640, 10) << QRect(640 - 177, below, 355, 180);
        QTest::newRow("kept on screen at the right edge")
            << QSize(355, 515) << pointer(1275, 10) << QRect(1280 - 355, below, 355, 515);
        QTest::newRow("kept on screen at the left edge")
            << QSize(355, 180) << pointer(3, 10) << QRect(0, below, 355, 180);
        QTest::newRow("above an icon in a bottom panel")
            << QSize(285, 75) << icon(QRect(1100, 776, 24, 24)) << QRect(1111 - 142, 776 - kPopoverGap - 75, 285, 75);
        QTest::newRow("above, kept on screen at the right")
            << QSize(355, 515) << pointer(1279, 790) << QRect(1280 - 355, 790 - kPopoverGap - 515, 355, 515);
        QTest::newRow("no host: the top-right corner")
            << QSize(355, 515) << PopoverAnchor{PopoverAnchor::Kind::ScreenCorner, QRect(1279, 32, 1, 1)}
            << QRect(1280 - 355, 32 + 1 + kPopoverGap, 355, 515);
        QTest::newRow("taller than the screen: the top stays visible")
            << QSize(355, 900) << pointer(640, 10) << QRect(640 - 177, 32, 355, 900);
    }

    void placement()
    {
        QFETCH(QSize, size);
        QFETCH(PopoverAnchor, anchor);
        QFETCH(QRect, expected);
        QCOMPARE(placePopover(size, anchor, kAvailable), expected);
    }

    // Below the anchor the top edge stays where it was; above it the bottom edge does.
    void resizingKeepsTheAnchoredEdge_data()
    {
        QTest::addColumn<PopoverAnchor>("anchor");
        QTest::addColumn<bool>("keepsTop");
        QTest::newRow("below a top-panel icon") << icon(QRect(600, 4, 24, 24)) << true;
        QTest::newRow("above a bottom-panel icon") << icon(QRect(600, 776, 24, 24)) << false;
    }

    void resizingKeepsTheAnchoredEdge()
    {
        QFETCH(PopoverAnchor, anchor);
        QFETCH(bool, keepsTop);
        const QRect small = placePopover(QSize(355, 180), anchor, kAvailable);
        const QRect tall = placePopover(QSize(355, 400), anchor, kAvailable);
        QVERIFY(small.height() != tall.height());
        if (keepsTop)
            QCOMPARE(tall.top(), small.top());
        else
            QCOMPARE(tall.bottom(), small.bottom());
        QCOMPARE(tall.center().x(), small.center().x());
    }
};

QTEST_APPLESS_MAIN(PopoverPlacementTest)
#include "tst_popoverplacement.moc"
