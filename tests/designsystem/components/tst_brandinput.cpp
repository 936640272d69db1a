#include "Rendering.h"

#include "designsystem/components/BrandInput.h"
#include "designsystem/components/KitButton.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace brelta::designsystem;

namespace {
// A window with the field and a second widget that can take the focus from it.
struct Scene
{
    QWidget window;
    BrandInput *input;
    QLineEdit *other = new QLineEdit;
    QStringList validated;
    int submitted = 0;

    explicit Scene(BrandInput::Type type = BrandInput::Type::Text)
    {
        auto *layout = new QVBoxLayout(&window);
        input = new BrandInput(QStringLiteral("Email address"), type);
        layout->addWidget(input);
        layout->addWidget(other);
        window.resize(320, 140);
        window.show();
    }

    void hookValidation()
    {
        input->setOnValidate([this](const QString &text) { validated << text; });
    }

    // Steps: "focus", "blur", "type:<text>", "backspace", "clear".
    void run(const QString &script)
    {
        for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step == QLatin1String("focus"))
                input->field()->setFocus(Qt::MouseFocusReason);
            else if (step == QLatin1String("blur"))
                other->setFocus(Qt::MouseFocusReason);
            else if (step.startsWith(QLatin1String("type:")))
                QTest::keyClicks(input->field(), step.mid(5));
            else if (step == QLatin1String("backspace"))
                QTest::keyClick(input->field(), Qt::Key_Backspace);
            else if (step == QLatin1String("clear"))
                input->setText({});
            else
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
};
} // namespace

class BrandInputTest : public QObject
{
    Q_OBJECT

private slots:
    void validationTiming_data()
    {
        QTest::addColumn<bool>("hooked");
        QTest::addColumn<bool>("eachChange");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("validatedInitially");

        QTest::newRow("no hook: never") << false << true << "focus type:ab blur focus type:c" << QStringList() << false;
        QTest::newRow("typing alone: nothing") << true << false << "focus type:ab" << QStringList() << false;
        QTest::newRow("first focus loss with text, then every change")
            << true << false << "focus type:ab blur focus type:c backspace clear"
            << QStringList({"ab", "abc", "ab", ""}) << true;
        QTest::newRow("focus loss with empty text: nothing")
            << true << false << "focus blur focus type:a" << QStringList() << false;
        QTest::newRow("gaining focus never validates")
            << true << false << "focus type:a blur focus" << QStringList({"a"}) << true;
        QTest::newRow("each change: from the first keystroke, and once more on focus loss")
            << true << true << "focus type:ab blur" << QStringList({"a", "ab", "ab"}) << true;
        QTest::newRow("a change from the caller counts as a change")
            << true << false << "focus type:a blur clear" << QStringList({"a", ""}) << true;
    }

    void validationTiming()
    {
        QFETCH(bool, hooked);
        QFETCH(bool, eachChange);
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        QFETCH(bool, validatedInitially);
        Scene scene;
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        if (hooked)
            scene.hookValidation();
        scene.input->setShouldValidateEachChange(eachChange);
        scene.run(script);
        QCOMPARE(scene.validated, expected);
        QCOMPARE(scene.input->hasValidatedInitially(), validatedInitially);
    }

    void returnSubmitsOnce_data()
    {
        QTest::addColumn<BrandInput::Type>("type");
        QTest::addColumn<bool>("hooked");
        QTest::newRow("text") << BrandInput::Type::Text << true;
        QTest::newRow("password") << BrandInput::Type::Password << true;
        QTest::newRow("no hook") << BrandInput::Type::Text << false;
    }

    void returnSubmitsOnce()
    {
        QFETCH(BrandInput::Type, type);
        QFETCH(bool, hooked);
        Scene scene(type);
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        if (hooked)
            scene.input->setOnSubmit([&scene] { ++scene.submitted; });
        scene.run(QStringLiteral("focus type:secret"));
        QTest::keyClick(scene.input->field(), Qt::Key_Return);
        QCOMPARE(scene.submitted, hooked ? 1 : 0);
        QTest::keyClick(scene.input->field(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(scene.submitted, hooked ? 2 : 0);
        QCOMPARE(scene.input->text(), QStringLiteral("secret"));
    }

    void labelShowsExactlyWhileEmpty()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        QCOMPARE(scene.input->height(), 48);
        QWidget *label = nullptr;
        for (QWidget *child : scene.input->findChildren<QWidget *>())
            if (child->accessibleName() == QLatin1String("Email address") && child != scene.input->field())
                label = child;
        QVERIFY(label);
        QVERIFY(label->isVisible());
        scene.input->setText(QStringLiteral("a"));
        QVERIFY(!label->isVisible());
        scene.input->setText({});
        QVERIFY(label->isVisible());
        // The label is also what assistive technology calls the field.
        QCOMPARE(QAccessible::queryAccessibleInterface(scene.input->field())->text(QAccessible::Name),
                 QStringLiteral("Email address"));
    }

    void revealShowsThePasswordAndHidesItAgain()
    {
        Scene scene(BrandInput::Type::Password);
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        QCOMPARE(scene.input->height(), 48);
        QLineEdit *field = scene.input->field();
        KitButton *reveal = scene.input->revealButton();
        QVERIFY(reveal);
        // The eye stands inside the box, within its 16 px padding.
        QCOMPARE(reveal->geometry().right(), scene.input->width() - 16 - 1);
        scene.input->setText(QStringLiteral("hunter2"));
        QVERIFY(field->displayText() != QStringLiteral("hunter2"));
        QCOMPARE(reveal->accessibleName(), QStringLiteral("Show password"));

        QTest::mouseClick(reveal, Qt::LeftButton);
        QVERIFY(scene.input->isRevealed());
        QCOMPARE(field->displayText(), QStringLiteral("hunter2"));
        QCOMPARE(reveal->accessibleName(), QStringLiteral("Hide password"));
        QTest::mouseClick(reveal, Qt::LeftButton);
        QVERIFY(!scene.input->isRevealed());
        QVERIFY(field->displayText() != QStringLiteral("hunter2"));
        QCOMPARE(scene.input->text(), QStringLiteral("hunter2"));
    }

    void hiddenPasswordStaysOutOfClipboardAndAccessibility()
    {
        Scene scene(BrandInput::Type::Password);
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        QLineEdit *field = scene.input->field();
        QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
        scene.run(QStringLiteral("focus type:hunter2"));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"));
        QCOMPARE(scene.input->text(), QStringLiteral("hunter2"));

        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(field);
        QVERIFY(!access->text(QAccessible::Value).contains(QStringLiteral("hunter2")));
        QVERIFY(access->state().passwordEdit);
        QAccessibleTextInterface *text = access->textInterface();
        QVERIFY(text);
        QVERIFY(!text->text(0, text->characterCount()).contains(QStringLiteral("hunter2")));
    }

    void inputMethodsAreToldThePasswordIsSensitiveAlsoWhenRevealed()
    {
        Scene scene(BrandInput::Type::Password);
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        QLineEdit *field = scene.input->field();
        const auto hints = [field] { return Qt::InputMethodHints(field->inputMethodQuery(Qt::ImHints).toInt()); };
        const Qt::InputMethodHints sensitive = Qt::ImhSensitiveData | Qt::ImhNoPredictiveText;
        QCOMPARE(hints() & sensitive, sensitive);
        scene.input->revealButton()->click();
        QVERIFY(scene.input->isRevealed());
        QCOMPARE(hints() & sensitive, sensitive);
        scene.input->revealButton()->click();
        QCOMPARE(hints() & sensitive, sensitive);
    }

    void bordersShowFocusAndError_data()
    {
        QTest::addColumn<bool>("error");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<QColor>("border");
        QTest::addColumn<QColor>("fill");
        const QColor overlay10(255, 255, 255, 26);
        const QColor negative10(0xFF, 0x7E, 0x7E, 26);
        QTest::newRow("plain: no border") << false << false << overlay10 << overlay10;
        QTest::newRow("focused: Gray600") << false << true << QColor(0x8A, 0x84, 0x9E) << overlay10;
        QTest::newRow("error: Negative") << true << false << QColor(0xFF, 0x7E, 0x7E) << negative10;
        QTest::newRow("error while focused: Negative") << true << true << QColor(0xFF, 0x7E, 0x7E) << negative10;
    }

    void bordersShowFocusAndError()
    {
        QFETCH(bool, error);
        QFETCH(bool, focused);
        QFETCH(QColor, border);
        QFETCH(QColor, fill);
        Scene scene;
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        scene.input->setError(error);
        scene.run(focused ? QStringLiteral("focus") : QStringLiteral("blur"));
        QCOMPARE(scene.input->isFocused(), focused);
        const QImage image = rendering::render(scene.input);
        const QColor edge = rendering::at(image, 0, 24);
        QVERIFY2(rendering::near(edge, border, 3), qPrintable(rendering::describe(edge)));
        const QColor inside = rendering::at(image, 3, 24);
        QVERIFY2(rendering::near(inside, fill, 3), qPrintable(rendering::describe(inside)));
    }

    void aPressInThePaddingFocusesTheField()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        scene.run(QStringLiteral("blur"));
        QVERIFY(!scene.input->isFocused());
        QTest::mouseClick(scene.input, Qt::LeftButton, {}, QPoint(4, 24));
        QVERIFY(scene.input->field()->hasFocus());
        QVERIFY(scene.input->isFocused());
    }

    void aContextMenuDoesNotCountAsLeavingTheField()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        scene.hookValidation();
        scene.run(QStringLiteral("focus type:ab"));
        QFocusEvent popupOut(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(scene.input->field(), &popupOut);
        QVERIFY(scene.input->isFocused());
        QVERIFY(scene.validated.isEmpty());
    }
};

QTEST_MAIN(BrandInputTest)
#include "tst_brandinput.moc"
