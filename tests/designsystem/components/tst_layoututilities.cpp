#include "designsystem/foundation/Colors.h"
#include "designsystem/layout/Debouncer.h"
#include "designsystem/layout/FlexibleView.h"
#include "platform/Clock.h"

#include <QTest>

using namespace brelta::designsystem;
using namespace std::chrono_literals;
using Rows = std::vector<std::vector<int>>;

Q_DECLARE_METATYPE(Rows)

// A fixed-size item for the layout.
class Block : public QWidget
{
public:
    Block(int width, int height, QWidget *parent = nullptr) : QWidget(parent), m_hint(width, height) {}
    QSize sizeHint() const override { return m_hint; }

private:
    QSize m_hint;
};

class LayoutUtilitiesTest : public QObject
{
    Q_OBJECT

private slots:
    void flowRows_data()
    {
        QTest::addColumn<QList<qreal>>("widths");
        QTest::addColumn<qreal>("available");
        QTest::addColumn<qreal>("spacing");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("three 40s in 100 with 8: two and one")
            << QList<qreal>{40, 40, 40} << qreal(100) << qreal(8) << Rows{{0, 1}, {2}};
        QTest::newRow("exactly available - spacing fits the first row")
            << QList<qreal>{92, 10} << qreal(100) << qreal(8) << Rows{{0}, {1}};
        QTest::newRow("one wider sits alone on the first row, no empty row above it")
            << QList<qreal>{93, 10} << qreal(100) << qreal(8) << Rows{{0}, {1}};
        QTest::newRow("wider than the whole width")
            << QList<qreal>{250, 250, 20} << qreal(100) << qreal(8) << Rows{{0}, {1}, {2}};
        QTest::newRow("no items, no rows") << QList<qreal>{} << qreal(100) << qreal(8) << Rows{};
        QTest::newRow("spacing counts after the last of a row")
            << QList<qreal>{46, 46} << qreal(100) << qreal(8) << Rows{{0}, {1}};
        QTest::newRow("no spacing") << QList<qreal>{50, 50, 1} << qreal(100) << qreal(0) << Rows{{0, 1}, {2}};
    }

    void flowRows()
    {
        QFETCH(QList<qreal>, widths);
        QFETCH(qreal, available);
        QFETCH(qreal, spacing);
        QFETCH(Rows, rows);
        QCOMPARE(brelta::designsystem::flowRows(widths, available, spacing), rows);
    }

    // The layout places its widgets by those rows: gaps between items and rows, rows centred when asked,
    // and a height that follows the width.
    void placesWidgetsInRows()
    {
        QWidget host;
        auto *flow = new FlexibleView(8, Qt::AlignHCenter, &host);
        auto *a = new Block(40, 20);
        auto *b = new Block(40, 30);
        auto *c = new Block(40, 20);
        for (QWidget *w : {a, b, c})
            flow->addWidget(w);
        QCOMPARE(flow->heightForWidth(100), 30 + 8 + 20);
        QCOMPARE(flow->heightForWidth(200), 30);
        host.resize(100, 58);
        flow->setGeometry(QRect(0, 0, 100, 58));
        // Row one: 40 + 8 + 40 = 88 wide, centred in 100; the shorter item centred on the 30-high row.
        QCOMPARE(a->geometry(), QRect(6, 5, 40, 20));
        QCOMPARE(b->geometry(), QRect(54, 0, 40, 30));
        QCOMPARE(c->geometry(), QRect(30, 38, 40, 20));

        auto *leading = new FlexibleView(8, Qt::AlignLeading);
        QWidget rtl;
        rtl.setLayoutDirection(Qt::RightToLeft);
        rtl.setLayout(leading);
        auto *first = new Block(40, 20);
        leading->addWidget(first);
        leading->setGeometry(QRect(0, 0, 100, 20));
        // Leading is the right edge in right-to-left text.
        QCOMPARE(first->geometry(), QRect(60, 0, 40, 20));
    }

    void leadingDebouncerRunsTheFirstCallOnce()
    {
        brelta::platform::ManualClock clock;
        Debouncer debouncer(&clock, 300ms, Debouncer::Edge::Leading);
        QStringList runs;
        for (int i = 0; i < 5; ++i) {
            debouncer.call([&runs, i] { runs << QString::number(i); });
            QCoreApplication::processEvents();
            clock.advance(100ms);
        }
        QCOMPARE(runs, QStringList{QStringLiteral("0")});
        // The burst ends 300 ms after its last call; the next call runs again.
        clock.advance(199ms);
        QVERIFY(debouncer.isBusy());
        clock.advance(1ms);
        QVERIFY(!debouncer.isBusy());
        debouncer.call([&runs] { runs << QStringLiteral("next"); });
        QTRY_COMPARE(runs, (QStringList{QStringLiteral("0"), QStringLiteral("next")}));
    }

    void trailingDebouncerRunsTheLastCallAfterTheDelay()
    {
        brelta::platform::ManualClock clock;
        Debouncer debouncer(&clock, 300ms, Debouncer::Edge::Trailing);
        QStringList runs;
        for (int i = 0; i < 5; ++i) {
            debouncer.call([&runs, i] { runs << QString::number(i); });
            clock.advance(100ms);
        }
        QCoreApplication::processEvents();
        QVERIFY(runs.isEmpty());
        clock.advance(199ms);
        QVERIFY(runs.isEmpty());
        clock.advance(1ms);
        QCOMPARE(runs, QStringList{QStringLiteral("4")});
        clock.advance(1000ms);
        QCOMPARE(runs.size(), 1);
    }

    void fromHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        const QColor none(0, 0, 0, 0);
        QTest::newRow("RRGGBBAA") << "#FF000080" << QColor(255, 0, 0, 128);
        QTest::newRow("RGB") << "0F0" << QColor(0, 255, 0);
        QTest::newRow("RGBA") << "#F008" << QColor(255, 0, 0, 0x88);
        QTest::newRow("RRGGBB without hash") << "8a42f5" << QColor(0x8a, 0x42, 0xf5);
        QTest::newRow("five digits") << "12345" << none;
        QTest::newRow("seven digits") << "#1234567" << none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("hash alone") << "#" << none;
        QTest::newRow("non-hex tail is not a colour") << "#12ZZZZ" << none;
        QTest::newRow("0x prefix") << "0xFFFFFF" << none;
        QTest::newRow("two hashes") << "##FFF" << none;
        QTest::newRow("non-ASCII digit") << QStringLiteral("#FF٣") << none;
    }

    void fromHex()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        QCOMPARE(Colors::fromHex(text).rgba(), expected.rgba());
    }
};

QTEST_MAIN(LayoutUtilitiesTest)
#include "tst_layoututilities.moc"
