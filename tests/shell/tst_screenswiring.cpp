// The screens joined to the shell: the main root's signed-out branch is the sign-in screen on the
// highlighted background at the onboarding size, a sign-in there reaches didSignIn once, each sign-out
// gets a fresh form, and the shared settings model starts clean for the next user.

#include "ShellTestSupport.h"

#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandInput.h"
#include "platform/Clock.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/settings/SettingsWidgetViewModel.h"
#include "screens/signin/SignInView.h"
#include "shell/ScreensWiring.h"
#include "shell/popovers/MainRoot.h"
#include "testsupport/backend/ClientFixture.h"

#include <QPointer>
#include <QTest>

using namespace brelta;

class ScreensWiringTest : public QObject
{
    Q_OBJECT

private slots:
    void signedOutRootSignsInOnceAndStartsFreshAfterSignOut()
    {
        testsupport::client::ClientFixture backend;
        platform::ManualClock clock;
        shell::ScreensWiring wiring({backend.client.get(), &backend.settings, &clock});
        QString storedUser;
        QList<QStringList> signIns;
        int quits = 0;
        auto *mainView = new QWidget;
        shell::MainRoot root([&storedUser] { return !storedUser.isEmpty(); }, mainView,
                             [&] {
                                 return wiring.makeSignInRoot(
                                     [&signIns](const QString &id, const QString &name) {
                                         signIns << QStringList{id, name};
                                     },
                                     [&quits] { ++quits; });
                             });
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));

        auto *background = qobject_cast<screens::OnboardingBackgroundView *>(root.signInView());
        QVERIFY(background);
        QVERIFY(background->withHighlight());
        QCOMPARE(background->size(), QSize(355, 515));
        QVERIFY(!mainView->isVisible());
        QPointer<screens::SignInView> form = qobject_cast<screens::SignInView *>(background->content());
        QVERIFY(form);

        emit form->quitChosen();
        QCOMPARE(quits, 1);

        const devserver::User &user = backend.server.seededUser();
        form->emailField()->setText(user.email);
        form->passwordField()->setText(user.password);
        QTest::mouseClick(form->continueButton(), Qt::LeftButton);
        QTest::mouseClick(form->continueButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(signIns.size(), 1, 6000);
        QCOMPARE(signIns.first(), (QStringList{user.id, user.email}));
        QTest::qWait(100);
        QCOMPARE(signIns.size(), 1);

        // The delegate stores the user: the main view shows and the form is let go.
        storedUser = user.email;
        root.refresh();
        QVERIFY(mainView->isVisible());
        QTRY_VERIFY(!form);

        // Signed out again: an empty form.
        storedUser.clear();
        root.refresh();
        auto *fresh = qobject_cast<screens::OnboardingBackgroundView *>(root.signInView());
        QVERIFY(fresh);
        auto *freshForm = qobject_cast<screens::SignInView *>(fresh->content());
        QVERIFY(freshForm);
        QVERIFY(freshForm->emailField()->text().isEmpty());
        QVERIFY(freshForm->passwordField()->text().isEmpty());
    }

    void signOutResetsTheSharedSettingsModel()
    {
        testsupport::client::ClientFixture backend;
        backend.signIn();
        platform::ManualClock clock;
        shell::ScreensWiring wiring({backend.client.get(), &backend.settings, &clock});
        screens::SettingsWidgetViewModel *model = wiring.settingsModel();
        model->loadPreferences();
        QTRY_VERIFY_WITH_TIMEOUT(!model->isLoading(), 5000);
        QVERIFY(!model->availableGoals().empty());
        QVERIFY(model->hasLoadedOnce());
        wiring.signedOut();
        QVERIFY(model->availableGoals().empty());
        QVERIFY(!model->selectedLanguage());
        QVERIFY(!model->hasLoadedOnce());
        // Without a mounted panel a focus request has nothing to move.
        wiring.focusPrivacySettings();
    }
};

BRELTA_SHELL_TEST_MAIN(ScreensWiringTest, None)
#include "tst_screenswiring.moc"
