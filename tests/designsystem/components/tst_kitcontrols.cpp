#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandDropdownMenu.h"
#include "designsystem/components/BrandMenu.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/MediaPill.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

using namespace brelta::designsystem;

// Titles can come from the backend: every control shows and names them exactly as written, with no
// mnemonic and no markup, and every control is reachable and pressable from the keyboard.
using Factory = std::function<KitButton *(const QString &title)>;
Q_DECLARE_METATYPE(Factory)

class KitControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void controls_data()
    {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::newRow("brand button") << Factory([](const QString &title) {
            return new BrandButton(title, std::nullopt, BrandButton::Type::Secondary, BrandButton::Shape::Smooth,
                                   BrandButton::Size::Small);
        }) << QAccessible::Button;
        QTest::newRow("media pill") << Factory([](const QString &title) {
            return new MediaPill(title, IconName::Play);
        }) << QAccessible::Button;
        QTest::newRow("menu item") << Factory([](const QString &title) {
            return new BrandMenuItem(title, std::nullopt, {});
        }) << QAccessible::MenuItem;
        QTest::newRow("dropdown row") << Factory([](const QString &title) { return new DropDownMenuItem(title); })
                                      << QAccessible::ListItem;
        QTest::newRow("toggle") << Factory([](const QString &title) { return new BrandToggle(title); })
                                << QAccessible::CheckBox;
    }

    void ampersandIsTextNotAMnemonic_data() { controls_data(); }

    void ampersandIsTextNotAMnemonic()
    {
        QFETCH(Factory, make);
        QFETCH(QAccessible::Role, role);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        KitButton *control = make(QStringLiteral("Q&A"));
        layout->addWidget(control);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy clicked(control, &QAbstractButton::clicked);

        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(control);
        QCOMPARE(access->role(), role);
        QCOMPARE(access->text(QAccessible::Name), QStringLiteral("Q&A"));
        QVERIFY(control->shortcut().isEmpty());
        QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(clicked.count(), 0);
    }

    void markupIsText_data() { controls_data(); }

    void markupIsText()
    {
        QFETCH(Factory, make);
        std::unique_ptr<KitButton> plain(make(QStringLiteral("bold")));
        std::unique_ptr<KitButton> tagged(make(QStringLiteral("<b>bold</b>")));
        // The tags are drawn as characters, so they take room of their own.
        QVERIFY2(tagged->sizeHint().width() >= plain->sizeHint().width() + 30,
                 qPrintable(QStringLiteral("%1 vs %2").arg(tagged->sizeHint().width()).arg(plain->sizeHint().width())));
        QCOMPARE(QAccessible::queryAccessibleInterface(tagged.get())->text(QAccessible::Name),
                 QStringLiteral("<b>bold</b>"));
    }

    void tabReachesAndSpaceAndEnterPress_data() { controls_data(); }

    void tabReachesAndSpaceAndEnterPress()
    {
        QFETCH(Factory, make);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *before = new BrandButton(QStringLiteral("Before"), std::nullopt, BrandButton::Type::Primary,
                                       BrandButton::Shape::Pill, BrandButton::Size::Small);
        KitButton *control = make(QStringLiteral("Control"));
        layout->addWidget(before);
        layout->addWidget(control);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        before->setFocus(Qt::TabFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(control->hasFocus());

        QSignalSpy clicked(control, &QAbstractButton::clicked);
        QTest::keyClick(control, Qt::Key_Space);
        QTest::keyClick(control, Qt::Key_Return);
        QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(clicked.count(), 3);
        // The assistive technology's press does the same.
        QAccessibleActionInterface *actions = QAccessible::queryAccessibleInterface(control)->actionInterface();
        QVERIFY(actions);
        actions->doAction(actions->actionNames().first());
        QCOMPARE(clicked.count(), 4);
    }

    void keyboardFocusAloneShowsTheRing()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *button = new BrandButton(QStringLiteral("Continue"), std::nullopt, BrandButton::Type::Primary,
                                       BrandButton::Shape::Smooth, BrandButton::Size::Small);
        layout->addWidget(button);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QImage unfocused = button->grab().toImage();
        button->setFocus(Qt::MouseFocusReason);
        QCOMPARE(button->grab().toImage(), unfocused);
        button->clearFocus();
        button->setFocus(Qt::TabFocusReason);
        QVERIFY(button->grab().toImage() != unfocused);
    }
};

QTEST_MAIN(KitControlsTest)
#include "tst_kitcontrols.moc"
