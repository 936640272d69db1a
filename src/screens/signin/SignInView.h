#pragma once

#include <QUrl>
#include <QWidget>

#include <optional>

namespace brelta::backend {
class ApiClient;
class SessionDelegate;
} // namespace brelta::backend
namespace brelta::designsystem {
class BrandButton;
class BrandInput;
class ErrorBanner;
} // namespace brelta::designsystem

namespace brelta::screens {

class OnboardingMenuElement;

// The e-mail and password form shown while nobody is signed in. It checks the address as the user types,
// signs in through the backend client and tells the outcome inline. A successful sign-in is handed to the
// session delegate (setUser) exactly once, even when the form was closed while the answer was on its way;
// the form itself stores nothing and sends no analytics.
class SignInView : public QWidget
{
    Q_OBJECT

public:
    struct Dependencies
    {
        backend::ApiClient *client = nullptr;
        backend::SessionDelegate *session = nullptr;
        // The web application, for the password-reset page.
        QUrl webBase;
    };

    static inline const QString kInvalidEmailText = QStringLiteral("Enter a valid email address");
    static inline const QString kBadConnectionText = QStringLiteral("Check your Internet connection.");
    static inline const QString kWrongCredentialsText =
        QStringLiteral("The email address or password is incorrect. Please try again.");
    static inline const QString kSomethingWentWrongText = QStringLiteral("Something went wrong.");
    static inline const QString kForgotPasswordPath = QStringLiteral("/coach/auth/forgot-password");
    static constexpr int kBannerWidth = 307;

    // `client` and `session` must outlive every sign-in started here (the form may go first).
    explicit SignInView(Dependencies dependencies, QWidget *parent = nullptr);

    designsystem::BrandInput *emailField() const { return m_email; }
    designsystem::BrandInput *passwordField() const { return m_password; }
    designsystem::BrandButton *continueButton() const { return m_continue; }
    designsystem::BrandButton *forgotPasswordButton() const { return m_forgot; }
    designsystem::ErrorBanner *errorBanner() const { return m_banner; }

    bool isLoading() const { return m_loading; }
    std::optional<QString> validationError() const { return m_validationError; }
    std::optional<QString> loginError() const { return m_loginError; }
    // What the banner says: the sign-in failure over the address check; none when the banner is hidden.
    std::optional<QString> bannerText() const;

    // The address of the password-reset page on `webBase`; invalid when `webBase` cannot hold one.
    static QUrl forgotPasswordUrl(const QUrl &webBase);

    // The page frame around the form: logo, menu and title block.
    OnboardingMenuElement *page() const { return m_page; }

signals:
    void signedIn(const QString &userId, const QString &email);
    // "Quit Brelta" was chosen in the page's menu.
    void quitChosen();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class SignInAttempt;

    void checkEmail(const QString &text);
    void submitIfFilled();
    void startSignIn();
    void finishSignIn(const std::optional<QString> &failureText);
    void markSignedIn();
    void refresh();
    void placeBanner();

    Dependencies m_deps;
    OnboardingMenuElement *m_page = nullptr;
    designsystem::BrandInput *m_email;
    designsystem::BrandInput *m_password;
    designsystem::BrandButton *m_forgot;
    designsystem::BrandButton *m_continue;
    designsystem::ErrorBanner *m_banner = nullptr;
    QWidget *m_bannerAnchor;

    bool m_loading = false;
    bool m_signedIn = false;
    std::optional<QString> m_validationError;
    std::optional<QString> m_loginError;
};

} // namespace brelta::screens
