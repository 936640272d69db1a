#include "ShellTestSupport.h"

#include "designsystem/components/Alert.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

using brelta::designsystem::createAlert;
using brelta::designsystem::ModalAlertPresenter;

class AlertTest : public QObject
{
    Q_OBJECT

private slots:
    void oneCloseButtonAndPlainTexts()
    {
        const QString title = QStringLiteral("<b>Something went wrong.</b> Please try again");
        const QString message = QStringLiteral("<a href=\"https://evil.example\">details</a> & more");
        const auto box = createAlert(title, message);
        QCOMPARE(box->text(), title);
        QCOMPARE(box->informativeText(), message);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), QStringLiteral("Close"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Brelta"));

        // Every label that shows a text shows it as plain text, with no live link.
        const QList<QLabel *> labels = box->findChildren<QLabel *>();
        int textLabels = 0;
        for (const QLabel *label : labels) {
            if (label->text() != title && label->text() != message)
                continue;
            ++textLabels;
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QVERIFY(!label->openExternalLinks());
        }
        QCOMPARE(textLabels, 2);

        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QTest::qWait(100);
        QVERIFY(brelta::testsupport::shell::saveScreenshot(box.get(), QStringLiteral("modal-alert")));
    }

    void anEmptyMessageShowsTheTitleAlone()
    {
        const auto box = createAlert(QStringLiteral("Something went wrong. Please try again"), QString());
        QVERIFY(box->informativeText().isEmpty());
        QCOMPARE(box->buttons().size(), 1);
    }

    // The presenter returns only once the user closed the alert.
    void thePresenterWaitsForClose()
    {
        ModalAlertPresenter presenter;
        bool closedByUser = false;
        QTimer::singleShot(200, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Could not start the recording"));
            closedByUser = true;
            QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        });
        presenter.showAlert(QStringLiteral("Could not start the recording"), QString());
        QVERIFY(closedByUser);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

BRELTA_SHELL_TEST_MAIN(AlertTest, None)
#include "tst_alert.moc"
