// The sign-in form against the local backend, driven with key and mouse events: every outcome's text and
// error looks, the address check, one request at a time, a form closed mid-request, and the password kept
// out of logs and the clipboard.

#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandInput.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/signin/SignInView.h"
#include "testsupport/backend/ClientFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QMutex>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace brelta;
using namespace std::chrono_literals;
using screens::SignInView;
using testsupport::client::ClientFixture;
using testsupport::client::kPasswordPath;
using testsupport::client::kTokenPath;

namespace {

// Receives what QDesktopServices::openUrl would hand to the browser.
class UrlSink : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

// Every log line of the process while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
    }
    QStringList lines() const
    {
        QMutexLocker lock(&s_mutex);
        return s_lines;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        QMutexLocker lock(&s_mutex);
        s_lines << QString::fromLatin1(context.category ? context.category : "") + QLatin1Char(' ') + message;
    }
    static inline QMutex s_mutex;
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

struct FormFixture
{
    FormFixture()
    {
        view = new SignInView({backend.client.get(), &backend.session, QUrl(QStringLiteral("https://web.test"))});
        view->resize(355, 515);
        view->show();
        view->activateWindow();
        if (!QTest::qWaitForWindowActive(view))
            qFatal("the form did not become active");
    }
    ~FormFixture() { delete view.data(); }

    void fill(const QString &email, const QString &password)
    {
        view->emailField()->setText(email);
        view->passwordField()->setText(password);
    }
    void pressContinue() { QTest::mouseClick(view->continueButton(), Qt::LeftButton); }

    ClientFixture backend;
    QPointer<SignInView> view;
};

} // namespace

class TestSignInView : public QObject
{
    Q_OBJECT

private slots:
    void signIn_data();
    void signIn();
    void emailCheck_data();
    void emailCheck();
    void emptyFieldsStartNothing();
    void oneSignInAtATimeAndNoneAfterSuccess();
    void formDeletedMidRequest_data();
    void formDeletedMidRequest();
    void passwordNeverReachesTheLog();
    void hiddenPasswordIsNotCopied();
    void forgotPasswordOpensTheResetPage();
    void bannerStandsAboveTheFieldsOnTheBackground();
};

void TestSignInView::signIn_data()
{
    QTest::addColumn<QString>("control");      // what the backend does
    QTest::addColumn<QString>("expectedText"); // empty: signed in

    QTest::newRow("seeded account") << "none" << QString();
    QTest::newRow("wrong password") << "wrong password" << SignInView::kWrongCredentialsText;
    QTest::newRow("400 on the password path") << "400" << SignInView::kWrongCredentialsText;
    QTest::newRow("500 on the password path") << "500" << SignInView::kSomethingWentWrongText;
    QTest::newRow("401 on the token exchange") << "token 401" << SignInView::kSomethingWentWrongText;
    QTest::newRow("dropped connection") << "drop" << SignInView::kBadConnectionText;
    QTest::newRow("no answer in time") << "hang" << SignInView::kBadConnectionText;
}

void TestSignInView::signIn()
{
    QFETCH(QString, control);
    QFETCH(QString, expectedText);

    FormFixture f;
    devserver::DevServer &server = f.backend.server;
    const devserver::User &user = server.seededUser();
    QString password = user.password;
    if (control == QLatin1String("wrong password"))
        password = QStringLiteral("not-the-password");
    else if (control == QLatin1String("400") || control == QLatin1String("500"))
        server.failNext(kPasswordPath, control.toInt());
    else if (control == QLatin1String("token 401"))
        server.failNext(kTokenPath, 401);
    else if (control == QLatin1String("drop"))
        server.respondNext(kPasswordPath, devserver::CannedResponse::droppedConnection(), 2);
    else if (control == QLatin1String("hang"))
        server.setHang(kPasswordPath, true);

    QSignalSpy signedIn(f.view.data(), &SignInView::signedIn);
    f.fill(user.email, password);
    f.pressContinue();
    QVERIFY(f.view->isLoading());
    QVERIFY(f.view->continueButton()->isLoading());
    QTRY_VERIFY_WITH_TIMEOUT(!f.view->isLoading(), 6000);

    // The fields keep what was typed, whatever the outcome.
    QCOMPARE(f.view->emailField()->text(), user.email);
    QCOMPARE(f.view->passwordField()->text(), password);

    if (expectedText.isEmpty()) {
        QCOMPARE(signedIn.size(), 1);
        QCOMPARE(signedIn.first().at(0).toString(), user.id);
        QCOMPARE(signedIn.first().at(1).toString(), user.email);
        QCOMPARE(f.backend.session.lastUserId, user.id);
        QCOMPARE(f.backend.session.lastUsername, user.email);
        QVERIFY(!f.view->bannerText());
        // The tokens are in the keyring: a fresh launch of the signed-in user (stored by the shell's setUser)
        // finds them.
        f.backend.settings.setText(platform::settings::kUsername, user.email);
        auto relaunched = f.backend.makeClient();
        QVERIFY(testsupport::awaitTask(relaunched->loadTokensFromKeychain()).succeeded());
        QCOMPARE(relaunched->accessTokenState(), backend::ApiClient::TokenState::Held);
        return;
    }
    QCOMPARE(signedIn.size(), 0);
    QVERIFY(f.backend.session.lastUserId.isEmpty());
    QCOMPARE(f.view->loginError(), std::optional<QString>(expectedText));
    QVERIFY(f.view->errorBanner());
    QCOMPARE(f.view->errorBanner()->message(), expectedText);
    QVERIFY(f.view->emailField()->hasError());
    QVERIFY(f.view->passwordField()->hasError());

    // Trying again clears the sign-in text at once, before the answer.
    server.clearResponse(kPasswordPath);
    server.setHang(kPasswordPath, true);
    f.pressContinue();
    QVERIFY(!f.view->loginError());
    QVERIFY(!f.view->passwordField()->hasError());
}

void TestSignInView::emailCheck_data()
{
    QTest::addColumn<QString>("typed");      // before the field loses focus
    QTest::addColumn<QString>("afterwards"); // keys typed back in the field; "<empty>" clears it
    QTest::addColumn<bool>("errorBeforeLeaving");
    QTest::addColumn<bool>("expectedError");

    QTest::newRow("focus-out with a bad address") << "abc" << QString() << false << true;
    QTest::newRow("focus-out with a good address") << "ann@example.org" << QString() << false << false;
    QTest::newRow("empty focus-out") << "" << QString() << false << false;
    QTest::newRow("typing on to a good address") << "abc"
                                                 << "@example.org" << false << false;
    QTest::newRow("typing on, still bad") << "abc"
                                          << "@example" << false << true;
    QTest::newRow("emptying after the check") << "abc"
                                              << "<empty>" << false << true;
}

void TestSignInView::emailCheck()
{
    QFETCH(QString, typed);
    QFETCH(QString, afterwards);
    QFETCH(bool, errorBeforeLeaving);
    QFETCH(bool, expectedError);

    FormFixture f;
    QLineEdit *email = f.view->emailField()->field();
    const QRect fieldsBefore = f.view->emailField()->geometry().united(f.view->passwordField()->geometry());

    email->setFocus();
    QTRY_VERIFY(email->hasFocus());
    QTest::keyClicks(email, typed);
    QCOMPARE(f.view->validationError().has_value(), errorBeforeLeaving);
    f.view->passwordField()->field()->setFocus();
    QTRY_VERIFY(!email->hasFocus());

    if (!afterwards.isEmpty()) {
        email->setFocus();
        QTRY_VERIFY(email->hasFocus());
        if (afterwards == QLatin1String("<empty>")) {
            email->selectAll();
            QTest::keyClick(email, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(email, afterwards);
        }
    }

    QCOMPARE(f.view->validationError().has_value(), expectedError);
    QCOMPARE(f.view->emailField()->hasError(), expectedError);
    QVERIFY(!f.view->passwordField()->hasError()); // the address check never marks the password
    QCOMPARE(f.view->errorBanner() != nullptr, expectedError);
    if (expectedError) {
        QCOMPARE(f.view->errorBanner()->message(), SignInView::kInvalidEmailText);
        QVERIFY(f.view->errorBanner()->isVisible());
        // The banner stands above the fields and never moves them.
        QVERIFY(f.view->errorBanner()->geometry().bottom() < f.view->emailField()->mapTo(f.view, QPoint(0, 0)).y());
    }
    QCOMPARE(f.view->emailField()->geometry().united(f.view->passwordField()->geometry()), fieldsBefore);
}

void TestSignInView::emptyFieldsStartNothing()
{
    FormFixture f;
    QVERIFY(!f.view->continueButton()->isEnabled());
    f.fill(f.backend.server.seededUser().email, QString());
    QVERIFY(!f.view->continueButton()->isEnabled());
    f.view->passwordField()->field()->setFocus();
    QTest::keyClick(f.view->passwordField()->field(), Qt::Key_Return);
    QVERIFY(!f.view->isLoading());

    // An address that fails the check can still be sent: the backend decides.
    f.fill(QStringLiteral("not-an-address"), QStringLiteral("secret"));
    QVERIFY(f.view->continueButton()->isEnabled());
    QTest::keyClick(f.view->passwordField()->field(), Qt::Key_Return);
    QVERIFY(f.view->isLoading());
    QTRY_VERIFY(!f.view->isLoading());
    QCOMPARE(f.view->loginError(), std::optional<QString>(SignInView::kWrongCredentialsText));
    QCOMPARE(f.backend.requestsTo(kPasswordPath).size(), 1);
}

void TestSignInView::oneSignInAtATimeAndNoneAfterSuccess()
{
    FormFixture f;
    const devserver::User &user = f.backend.server.seededUser();
    f.fill(user.email, user.password);
    QSignalSpy signedIn(f.view.data(), &SignInView::signedIn);

    f.pressContinue();
    f.pressContinue();
    f.view->passwordField()->field()->setFocus();
    QTest::keyClick(f.view->passwordField()->field(), Qt::Key_Return);
    QTRY_COMPARE(signedIn.size(), 1);
    QTRY_VERIFY(!f.view->isLoading());

    f.pressContinue();
    QTest::keyClick(f.view->passwordField()->field(), Qt::Key_Return);
    QTest::qWait(200);
    QCOMPARE(f.backend.requestsTo(kPasswordPath).size(), 1);
    QCOMPARE(f.backend.requestsTo(kTokenPath).size(), 1);
    QCOMPARE(signedIn.size(), 1);
}

void TestSignInView::formDeletedMidRequest_data()
{
    QTest::addColumn<bool>("rightPassword");
    QTest::newRow("success still signs in") << true;
    QTest::newRow("failure is dropped") << false;
}

void TestSignInView::formDeletedMidRequest()
{
    QFETCH(bool, rightPassword);

    FormFixture f;
    const devserver::User &user = f.backend.server.seededUser();
    f.fill(user.email, rightPassword ? user.password : QStringLiteral("wrong"));
    f.pressContinue();
    delete f.view.data();
    QVERIFY(f.view.isNull());

    QTRY_COMPARE(f.backend.requestsTo(kPasswordPath).size(), 1);
    if (rightPassword) {
        QTRY_COMPARE(f.backend.session.lastUserId, user.id);
        QCOMPARE(f.backend.session.lastUsername, user.email);
    } else {
        QTest::qWait(300);
        QVERIFY(f.backend.session.lastUserId.isEmpty());
    }
}

void TestSignInView::passwordNeverReachesTheLog()
{
    const QString secret = QStringLiteral("Unmistakable-Pa55word");
    LogCapture logs;
    {
        FormFixture f;
        f.backend.server.failNext(kPasswordPath, 500);
        f.fill(f.backend.server.seededUser().email, secret);
        f.pressContinue();
        QTRY_VERIFY(!f.view->isLoading());
        f.fill(f.backend.server.seededUser().email, secret + QStringLiteral("-again"));
        f.pressContinue();
        QTRY_VERIFY(!f.view->isLoading());
        QCOMPARE(f.view->loginError(), std::optional<QString>(SignInView::kWrongCredentialsText));
    }
    const QStringList lines = logs.lines();
    QVERIFY2(!lines.filter(QStringLiteral("brelta.screens.SignInView")).isEmpty(), "the failures were not logged");
    QVERIFY(lines.filter(secret).isEmpty());
}

void TestSignInView::hiddenPasswordIsNotCopied()
{
    FormFixture f;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("left alone"));
    QLineEdit *password = f.view->passwordField()->field();
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("hidden-secret"));
    password->selectAll();
    QTest::keySequence(password, QKeySequence::Copy);
    QTest::keySequence(password, QKeySequence::Cut);
    QCOMPARE(clipboard->text(), QStringLiteral("left alone"));
    QCOMPARE(f.view->passwordField()->text(), QStringLiteral("hidden-secret"));
}

void TestSignInView::forgotPasswordOpensTheResetPage()
{
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    {
        FormFixture f;
        QTest::mouseClick(f.view->forgotPasswordButton(), Qt::LeftButton);
        QCOMPARE(sink.opened, QList<QUrl>{QUrl(QStringLiteral("https://web.test/coach/auth/forgot-password"))});
    }
    QVERIFY(!SignInView::forgotPasswordUrl(QUrl(QStringLiteral("javascript:alert(1)"))).isValid());
    QVERIFY(!SignInView::forgotPasswordUrl(QUrl()).isValid());
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

// The screen as the main popover shows it while nobody is signed in, before and after a refused password.
void TestSignInView::bannerStandsAboveTheFieldsOnTheBackground()
{
    ClientFixture backend;
    auto *view = new SignInView({backend.client.get(), &backend.session, QUrl(QStringLiteral("https://web.test"))});
    screens::OnboardingBackgroundView popover(true, view);
    popover.resize(355, 515);
    popover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popover));
    const QString folder = qEnvironmentVariable("BRELTA_TEST_OUTPUT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    QVERIFY(popover.grab().save(QDir(folder).filePath(QStringLiteral("signin-empty.png"))));

    const QPoint emailAt = view->emailField()->mapTo(view, QPoint(0, 0));
    view->emailField()->setText(backend.server.seededUser().email);
    view->passwordField()->setText(QStringLiteral("not-the-password"));
    QTest::mouseClick(view->continueButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(view->errorBanner(), 6000);
    QTRY_VERIFY(view->errorBanner()->isVisible());
    QCOMPARE(view->emailField()->mapTo(view, QPoint(0, 0)), emailAt);
    const QRect banner = view->errorBanner()->geometry();
    QVERIFY2(banner.bottom() < emailAt.y() && banner.top() >= 0,
             qPrintable(
                 QStringLiteral("banner %1..%2, email at %3").arg(banner.top()).arg(banner.bottom()).arg(emailAt.y())));
    QCOMPARE(banner.width(), SignInView::kBannerWidth);
    QVERIFY(popover.grab().save(QDir(folder).filePath(QStringLiteral("signin-error.png"))));
}

QTEST_MAIN(TestSignInView)
#include "tst_signinview.moc"
