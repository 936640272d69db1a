#include "Rendering.h"

#include "designsystem/components/BrandButton.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;
using Type = BrandButton::Type;
using Shape = BrandButton::Shape;
using Size = BrandButton::Size;

namespace {
const QColor brandStart(142, 69, 249);
const QColor brandEnd(165, 84, 246);

bool isPurple(const QColor &c)
{
    return c.alpha() > 200 && c.blue() > 200 && c.green() < 110 && c.red() > 120;
}
} // namespace

class BrandButtonTest : public QObject
{
    Q_OBJECT

private slots:
    void measuresFollowShapeAndSize_data()
    {
        QTest::addColumn<Type>("type");
        QTest::addColumn<Shape>("shape");
        QTest::addColumn<Size>("size");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("padding");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<int>("iconSide");
        struct Row
        {
            const char *name;
            Shape shape;
            Size size;
            int height, padding, spacing, iconSide;
        };
        const Row rows[] = {
            {"pill large", Shape::Pill, Size::Large, 56, 24, 8, 32},
            {"pill medium", Shape::Pill, Size::Medium, 40, 20, 6, 24},
            {"pill small", Shape::Pill, Size::Small, 32, 16, 4, 16},
            {"pill tiny", Shape::Pill, Size::Tiny, 24, 8, 2, 12},
            {"smooth large", Shape::Smooth, Size::Large, 56, 24, 8, 32},
            {"smooth medium", Shape::Smooth, Size::Medium, 48, 20, 6, 24},
            {"smooth small", Shape::Smooth, Size::Small, 40, 16, 4, 16},
            {"smooth tiny", Shape::Smooth, Size::Tiny, 24, 8, 2, 12},
        };
        const std::pair<Type, const char *> types[] = {
            {Type::Primary, "primary"}, {Type::Secondary, "secondary"}, {Type::Text, "text"}};
        for (const auto &[type, typeName] : types) {
            for (const Row &r : rows)
                QTest::addRow("%s %s", typeName, r.name)
                    << type << r.shape << r.size << r.height << r.padding << r.spacing << r.iconSide;
        }
    }

    void measuresFollowShapeAndSize()
    {
        QFETCH(Type, type);
        QFETCH(Shape, shape);
        QFETCH(Size, size);
        QFETCH(int, height);
        QFETCH(int, padding);
        QFETCH(int, spacing);
        QFETCH(int, iconSide);

        // An icon alone sits between the two paddings.
        BrandButton iconOnly({}, IconName::Mic, type, shape, size);
        QCOMPARE(iconOnly.sizeHint(), QSize(iconSide + 2 * padding, height));

        // The icon follows the title at the size's spacing.
        BrandButton titled(QStringLiteral("Record"), std::nullopt, type, shape, size);
        BrandButton both(QStringLiteral("Record"), IconName::Mic, type, shape, size);
        QCOMPARE(titled.sizeHint().height(), height);
        QCOMPARE(both.sizeHint().width() - titled.sizeHint().width(), spacing + iconSide);
    }

    void cornersFollowShape_data()
    {
        QTest::addColumn<Type>("type");
        QTest::addColumn<Shape>("shape");
        QTest::addColumn<Size>("size");
        for (Type type : {Type::Primary, Type::Secondary}) {
            for (Shape shape : {Shape::Pill, Shape::Smooth}) {
                for (Size size : {Size::Large, Size::Tiny})
                    QTest::addRow("%s %s %s", type == Type::Primary ? "primary" : "secondary",
                                  shape == Shape::Pill ? "pill" : "smooth", size == Size::Large ? "large" : "tiny")
                        << type << shape << size;
            }
        }
    }

    void cornersFollowShape()
    {
        QFETCH(Type, type);
        QFETCH(Shape, shape);
        QFETCH(Size, size);
        BrandButton button(QStringLiteral("Continue"), std::nullopt, type, shape, size);
        button.resize(button.sizeHint());
        const QImage image = rendering::render(&button);
        const int h = button.height();
        // 8 px corners cover the pixel at (2, 2); round ends (radius h / 2, at least 12) leave it empty.
        QCOMPARE(rendering::at(image, 0, 0).alpha(), 0);
        QVERIFY(rendering::at(image, button.width() / 2, 1).alpha() > 0);
        QVERIFY(rendering::at(image, 1, h / 2).alpha() > 0);
        if (shape == Shape::Smooth)
            QVERIFY(rendering::at(image, 2, 2).alpha() > 0);
        else
            QCOMPARE(rendering::at(image, 2, 2).alpha(), 0);
    }

    void backgroundFollowsType()
    {
        BrandButton primary(QStringLiteral("Go"), std::nullopt, Type::Primary, Shape::Smooth, Size::Large);
        BrandButton secondary(QStringLiteral("Go"), std::nullopt, Type::Secondary, Shape::Smooth, Size::Large);
        BrandButton text(QStringLiteral("Go"), std::nullopt, Type::Text, Shape::Smooth, Size::Large);
        for (BrandButton *button : {&primary, &secondary, &text})
            button->resize(button->sizeHint());

        // The brand gradient runs from its first colour on the leading edge to its second on the trailing one.
        const QImage p = rendering::render(&primary);
        const int mid = primary.height() / 2;
        QVERIFY2(rendering::near(rendering::at(p, 1, mid), brandStart, 8),
                 qPrintable(rendering::describe(rendering::at(p, 1, mid))));
        QVERIFY2(rendering::near(rendering::at(p, primary.width() - 2, mid), brandEnd, 8),
                 qPrintable(rendering::describe(rendering::at(p, primary.width() - 2, mid))));

        // Overlay20: white at 20 %.
        const QColor overlay = rendering::at(rendering::render(&secondary), 4, mid);
        QVERIFY2(rendering::near(overlay, QColor(255, 255, 255, 51), 3), qPrintable(rendering::describe(overlay)));

        // The text type draws no background in its padding.
        QCOMPARE(rendering::at(rendering::render(&text), 4, mid).alpha(), 0);
    }

    void textTypeUnderlinesItsContentWithTheGradient()
    {
        BrandButton button(QStringLiteral("Resend the code"), std::nullopt, Type::Text, Shape::Pill, Size::Medium);
        button.resize(button.sizeHint());
        const QImage image = rendering::render(&button);
        // The line is the lowest row of purple, one pixel high, under the content and not under the padding.
        QRect line;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (isPurple(rendering::at(image, x, y)))
                    line |= QRect(x, y, 1, 1);
        QCOMPARE(line.height(), 1);
        QCOMPARE(line.left(), 20);
        QCOMPARE(line.right(), button.width() - 21);
        QVERIFY(rendering::near(rendering::at(image, line.left(), line.top()), brandStart, 10));
        QVERIFY(rendering::near(rendering::at(image, line.right(), line.top()), brandEnd, 10));
        // It sits right under the text, centred with it in the button's height.
        QVERIFY(line.top() > button.height() / 2 && line.top() < button.height() - 8);
    }

    void loadingHidesContentShowsSpinnerAndKeepsSize_data()
    {
        QTest::addColumn<Type>("type");
        QTest::addColumn<qreal>("diameter");
        QTest::newRow("primary at 0.75") << Type::Primary << 24.0;
        QTest::newRow("secondary at 0.75") << Type::Secondary << 24.0;
        QTest::newRow("text at 0.35") << Type::Text << 11.2;
    }

    void loadingHidesContentShowsSpinnerAndKeepsSize()
    {
        QFETCH(Type, type);
        QFETCH(qreal, diameter);
        BrandButton button(QStringLiteral("Sign in"), IconName::LogIn, type, Shape::Smooth, Size::Large);
        const QSize before = button.sizeHint();
        button.resize(before);
        button.setLoading(true);
        QCOMPARE(button.sizeHint(), before);

        // Against the bare background of the same size, only the spinner (light, not the purple line) shows.
        BrandButton bare({}, std::nullopt, type, Shape::Smooth, Size::Large);
        bare.setFixedSize(before);
        const QRect ink = rendering::differenceBox(rendering::render(&button), rendering::render(&bare),
                                                   [](const QColor &c) { return c.green() > 100; });
        QVERIFY(!ink.isEmpty());
        const QString where =
            QStringLiteral("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height());
        QVERIFY2(ink.width() >= diameter - 3 && ink.width() <= diameter + 1, qPrintable(where));
        QVERIFY2(ink.height() >= diameter - 3 && ink.height() <= diameter + 1, qPrintable(where));
        QVERIFY2(std::abs(ink.center().x() - before.width() / 2.0) <= 2, qPrintable(where));
        QVERIFY2(std::abs(ink.center().y() - before.height() / 2.0) <= 2, qPrintable(where));

        button.setLoading(false);
        QCOMPARE(button.sizeHint(), before);
    }

    void pressRunsTheActionAlsoWhileLoading()
    {
        QWidget window;
        auto *button =
            new BrandButton(QStringLiteral("Save"), std::nullopt, Type::Primary, Shape::Pill, Size::Small, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        button->setLoading(true);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 2);
        // Keyboard: Space and Enter press it once each.
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(clicked.count(), 4);
    }

    void fullSizeTakesTheOfferedWidth()
    {
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *full =
            new BrandButton(QStringLiteral("Continue"), std::nullopt, Type::Primary, Shape::Smooth, Size::Large);
        full->setFullSize(true);
        layout->addWidget(full);
        window.resize(400, 100);
        window.show();
        QTRY_COMPARE(full->width(), 400);
        QCOMPARE(full->height(), 56);

        // Without it, a button is as wide as its content and padding, so titles of different lengths differ.
        BrandButton shortButton(QStringLiteral("OK"), std::nullopt, Type::Primary, Shape::Smooth, Size::Large);
        BrandButton longButton(QStringLiteral("Connect your calendar"), std::nullopt, Type::Primary, Shape::Smooth,
                               Size::Large);
        QVERIFY(longButton.sizeHint().width() > shortButton.sizeHint().width() + 50);
        QCOMPARE(shortButton.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    }
};

QTEST_MAIN(BrandButtonTest)
#include "tst_brandbutton.moc"
