#include "Rendering.h"

#include "designsystem/components/BrandDropdownMenu.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

using namespace brelta::designsystem;

namespace {
enum class Language { English, German, Spanish, Portuguese };

QString titleOf(const Language &language)
{
    switch (language) {
    case Language::English:
        return QStringLiteral("English");
    case Language::German:
        return QStringLiteral("Deutsch");
    case Language::Spanish:
        return QStringLiteral("Español");
    case Language::Portuguese:
        return QStringLiteral("Português (Brasil), the language of the longest title in this list by far");
    }
    return {};
}

// A settings-like column: the dropdown with a label below it, bound to a list of languages.
struct Scene
{
    QWidget window;
    BrandDropdownMenu *dropdown = new BrandDropdownMenu;
    QWidget *below = new QLabel(QStringLiteral("Privacy"));
    DropdownChoice<Language> choice;
    QList<std::pair<Language, Language>> told; // (element told, binding when told)

    explicit Scene(QList<Language> data = {Language::English, Language::German, Language::Spanish,
                                           Language::Portuguese},
                   Language selected = Language::English)
        : choice(dropdown, std::move(data), selected, titleOf,
                 [this](const Language &language) { told << std::make_pair(language, choice.selected()); })
    {
        window.setGeometry(100, 100, 320, 300);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(dropdown);
        layout->addWidget(below);
        layout->addStretch();
        window.show();
    }

    DropdownList *list() const { return dropdown->list(); }
    void clickInWindow(const QPoint &pos) { QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, pos); }
    void clickField() { clickInWindow(dropdown->geometry().center()); }
    void chooseRow(int index)
    {
        QTest::mouseClick(list()->windowHandle(), Qt::LeftButton, {}, list()->rows().at(index)->geometry().center());
    }
};
} // namespace

class BrandDropdownMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void choiceWritesTheBindingTellsOnceAndCloses_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<Language>("expected");
        QTest::newRow("another element") << 2 << Language::Spanish;
        QTest::newRow("the selected element again") << 0 << Language::English;
    }

    void choiceWritesTheBindingTellsOnceAndCloses()
    {
        QFETCH(int, row);
        QFETCH(Language, expected);
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        QCOMPARE(scene.dropdown->selectedTitle(), QStringLiteral("English"));
        scene.clickField();
        QVERIFY(scene.dropdown->isExpanded());
        scene.chooseRow(row);
        QCOMPARE(scene.choice.selected(), expected);
        // Told once, after the binding was written.
        QCOMPARE(scene.told, (QList<std::pair<Language, Language>>{{expected, expected}}));
        QVERIFY(!scene.dropdown->isExpanded());
        QCOMPARE(scene.dropdown->selectedTitle(), titleOf(expected));
    }

    void pressOutsideClosesWithoutAChoice()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickField();
        QVERIFY(scene.dropdown->isExpanded());
        scene.clickInWindow(QPoint(300, 280));
        QVERIFY(!scene.dropdown->isExpanded());
        // A press on the field while open closes it the same way, and does not open it again.
        scene.clickField();
        QVERIFY(scene.dropdown->isExpanded());
        scene.clickField();
        QVERIFY(!scene.dropdown->isExpanded());
        QCOMPARE(scene.choice.selected(), Language::English);
        QVERIFY(scene.told.isEmpty());
    }

    void listHangsBelowTheFieldOverWhatFollows()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        const QRect fieldBefore = scene.dropdown->geometry();
        const QRect belowBefore = scene.below->geometry();
        scene.clickField();
        const QRect field(scene.dropdown->mapToGlobal(QPoint(0, 0)), scene.dropdown->size());
        const QRect list = scene.list()->geometry();
        QCOMPARE(list.y(), field.y() + field.height() + 4);
        QCOMPARE(list.x(), field.x());
        QCOMPARE(list.width(), field.width());
        // Nothing in the layout moves: the list floats over the label below.
        QCOMPARE(scene.dropdown->geometry(), fieldBefore);
        QCOMPARE(scene.below->geometry(), belowBefore);
        QVERIFY(list.intersects(QRect(scene.below->mapToGlobal(QPoint(0, 0)), scene.below->size())));
        // The chevron turns and the border appears as it opens.
        QTRY_COMPARE(scene.dropdown->openProgress(), 1.0);
        scene.list()->close();
        QTRY_COMPARE(scene.dropdown->openProgress(), 0.0);
    }

    void aLongTitleIsCutToOneLine()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickField();
        const auto rows = scene.list()->rows();
        QCOMPARE(rows.size(), 4);
        // Every row is one line high, the long one included, and no row widens the list.
        for (DropDownMenuItem *row : rows) {
            QCOMPARE(row->height(), rows.at(0)->height());
            QCOMPARE(row->width(), scene.list()->width() - 8);
        }
        QCOMPARE(scene.list()->height(), 4 * rows.at(0)->height() + 8);
        // The long title's text stops inside the row's padding.
        const QImage image = rendering::render(rows.at(3));
        int rightmost = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (rendering::at(image, x, y).alpha() > 100)
                    rightmost = std::max(rightmost, x);
        QVERIFY(rightmost > rows.at(3)->width() / 2);
        QVERIFY(rightmost < rows.at(3)->width() - 8);
    }

    void anEmptyListIsAStripOfPadding()
    {
        Scene scene({}, Language::German);
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        // The field shows the binding's title even when the value is not in the list.
        QCOMPARE(scene.dropdown->selectedTitle(), QStringLiteral("Deutsch"));
        QCOMPARE(scene.dropdown->selectedIndex(), -1);
        scene.clickField();
        QVERIFY(scene.dropdown->isExpanded());
        QCOMPARE(scene.list()->height(), 8);
    }

    void rowHighlightFollowsThePointer()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickField();
        DropDownMenuItem *row = scene.list()->rows().at(1);
        QCOMPARE(row->highlight(), 0.0);
        QTest::mouseMove(scene.list()->windowHandle(), row->geometry().center());
        QTRY_COMPARE(row->highlight(), 1.0);
        QTest::mouseMove(scene.list()->windowHandle(), scene.list()->rows().at(2)->geometry().center());
        QTRY_COMPARE(row->highlight(), 0.0);
        QTRY_COMPARE(scene.list()->rows().at(2)->highlight(), 1.0);
    }

    void keyboardOpensAtTheSelectionWalksAndChooses()
    {
        Scene scene({Language::English, Language::German, Language::Spanish}, Language::German);
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        scene.dropdown->setFocus(Qt::TabFocusReason);
        QTest::keyClick(scene.dropdown, Qt::Key_Space);
        QVERIFY(scene.dropdown->isExpanded());
        const auto rows = scene.list()->rows();
        QVERIFY(rows.at(1)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(rows.at(2)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(scene.choice.selected(), Language::Spanish);
        QVERIFY(!scene.dropdown->isExpanded());

        // Escape closes without a choice.
        QTest::keyClick(scene.dropdown, Qt::Key_Down);
        QVERIFY(scene.dropdown->isExpanded());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!scene.dropdown->isExpanded());
        QCOMPARE(scene.told.size(), 1);
    }

    void tellsAssistiveTechnologyItsChoice()
    {
        Scene scene;
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(scene.dropdown);
        QCOMPARE(access->role(), QAccessible::ComboBox);
        QCOMPARE(access->text(QAccessible::Value), QStringLiteral("English"));
        scene.choice.setSelected(Language::Spanish);
        QCOMPARE(access->text(QAccessible::Value), QStringLiteral("Español"));
        QCOMPARE(QAccessible::queryAccessibleInterface(scene.list())->role(), QAccessible::List);
    }

    void aDropdownThatIsNotShownDoesNotOpen()
    {
        BrandDropdownMenu dropdown;
        dropdown.setItemTitles({QStringLiteral("A")});
        dropdown.setExpanded(true);
        QVERIFY(!dropdown.isExpanded());
    }
};

QTEST_MAIN(BrandDropdownMenuTest)
#include "tst_branddropdownmenu.moc"
