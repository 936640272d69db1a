#include "Rendering.h"

#include "designsystem/components/HighlightBlurView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

namespace {
bool isPink(const QColor &c)
{
    return c.alpha() > 8 && c.red() > c.green() + 40;
}
} // namespace

class HighlightBlurViewTest : public QObject
{
    Q_OBJECT

private slots:
    void takesItsFrameInLayoutWhileTheGlowSpreadsBeyond()
    {
        QWidget window;
        window.resize(400, 300);
        auto *layout = new QHBoxLayout(&window);
        auto *glow = new HighlightBlurView(120, 60);
        layout->addWidget(glow, 0, Qt::AlignCenter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(glow->size(), QSize(120, 60));
        QCOMPARE(glow->sizeHint(), QSize(120, 60));

        QWidget *layer = glow->glowLayer();
        QVERIFY(layer);
        QCOMPARE(layer->parentWidget(), &window);
        QCOMPARE(layer->geometry(), glow->geometry().adjusted(-50, -50, 50, 50));
        QVERIFY(layer->testAttribute(Qt::WA_TransparentForMouseEvents));

        // Pink 25 px outside the frame, nothing 50 px out.
        const QImage image = rendering::render(&window);
        const QRect frame = glow->geometry();
        QVERIFY(isPink(rendering::at(image, frame.center().x(), frame.center().y())));
        QVERIFY(isPink(rendering::at(image, frame.center().x(), frame.top() - 25)));
        QVERIFY(isPink(rendering::at(image, frame.left() - 20, frame.center().y())));
        QCOMPARE(rendering::at(image, frame.left() - 51, frame.center().y()).alpha(), 0);
        // At 65 % at most.
        QVERIFY(rendering::at(image, frame.center().x(), frame.center().y()).alpha() <= 166);
    }

    void followsItsViewAndLetsPressesThrough()
    {
        QWidget window;
        window.resize(300, 200);
        auto *button = new QPushButton(QStringLiteral("Under"), &window);
        button->setGeometry(20, 20, 80, 30);
        auto *glow = new HighlightBlurView(40, 40, &window);
        glow->move(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *layer = glow->glowLayer();
        QCOMPARE(layer->geometry(), QRect(150, 50, 140, 140));
        // Behind the other children: the button stays on top of the glow.
        QCOMPARE(window.children().indexOf(layer) < window.children().indexOf(button), true);

        glow->move(10, 10);
        QCOMPARE(layer->geometry(), QRect(-40, -40, 140, 140));
        // The glow now lies over the button, which still takes the press (sent as the window system would).
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(40, 30));
        QCOMPARE(clicked.count(), 1);

        glow->hide();
        QVERIFY(!layer->isVisible());
        glow->show();
        QVERIFY(layer->isVisible());
        delete glow;
        QVERIFY(window.findChildren<QWidget *>().size() == 1);
    }
};

QTEST_MAIN(HighlightBlurViewTest)
#include "tst_highlightblurview.moc"
