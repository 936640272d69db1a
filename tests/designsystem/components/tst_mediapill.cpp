#include "Rendering.h"

#include "designsystem/components/MediaPill.h"

#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

class MediaPillTest : public QObject
{
    Q_OBJECT

private slots:
    void isFortyPixelsHighWhateverTheTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("short") << QStringLiteral("Play");
        QTest::newRow("long") << QStringLiteral("Open the meeting in Google Meet");
        QTest::newRow("two lines") << QStringLiteral("Open\nMeet");
    }

    void isFortyPixelsHighWhateverTheTitle()
    {
        QFETCH(QString, title);
        MediaPill pill(title, IconName::PlayFill);
        QCOMPARE(pill.sizeHint().height(), 40);
        // 16 px padding, 16 px icon, 8 px spacing, then the title.
        MediaPill empty({}, IconName::PlayFill);
        QCOMPARE(empty.sizeHint().width(), 16 + 16 + 8 + 16);
        QVERIFY(pill.sizeHint().width() > empty.sizeHint().width() + 10);
    }

    void endsAreRoundAndFillFollowsTheColour_data()
    {
        QTest::addColumn<bool>("hasColour");
        QTest::newRow("brand gradient by default") << false;
        QTest::newRow("the given colour") << true;
    }

    void endsAreRoundAndFillFollowsTheColour()
    {
        QFETCH(bool, hasColour);
        const QColor colour(20, 160, 90);
        MediaPill pill(QStringLiteral("Pause"), IconName::Pause,
                       hasColour ? std::optional<QColor>(colour) : std::nullopt);
        pill.resize(pill.sizeHint());
        const QImage image = rendering::render(&pill);
        const int w = pill.width();
        // Round ends: the corners are empty, the middle of each end is filled.
        for (const QPoint &corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, 39), QPoint(w - 1, 39), QPoint(3, 3)})
            QCOMPARE(rendering::at(image, corner.x(), corner.y()).alpha(), 0);
        QVERIFY(rendering::at(image, 1, 20).alpha() > 128);
        QVERIFY(rendering::at(image, w - 2, 20).alpha() > 128);
        const QColor fill = rendering::at(image, w / 2, 2);
        if (hasColour)
            QVERIFY2(rendering::near(fill, colour, 2), qPrintable(rendering::describe(fill)));
        else
            QVERIFY2(fill.blue() > 200 && fill.green() < 100, qPrintable(rendering::describe(fill)));
    }

    void pressRunsTheActionOnce()
    {
        QWidget window;
        auto *pill = new MediaPill(QStringLiteral("Play"), IconName::PlayFill, std::nullopt, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicked(pill, &QAbstractButton::clicked);
        QTest::mouseClick(pill, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(MediaPillTest)
#include "tst_mediapill.moc"
