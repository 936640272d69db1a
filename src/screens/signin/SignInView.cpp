#include "screens/signin/SignInView.h"

#include "backend/client/ApiClient.h"
#include "backend/client/ApiErrors.h"
#include "backend/client/SessionDelegate.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandInput.h"
#include "platform/format/EmailCheck.h"
#include "screens/WebAddress.h"
#include "screens/frames/OnboardingMenuElement.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QVBoxLayout>

#include <QCoroTask>

namespace brelta::screens {

Q_LOGGING_CATEGORY(lcSignIn, "brelta.screens.SignInView")

using designsystem::BrandButton;
using designsystem::BrandInput;

namespace {

// Only the kind of failure is named: the request carried the password, so no text of it is passed on.
QString failureText(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const backend::ApiClientException &error) {
        qCInfo(lcSignIn) << "sign-in failed:" << backend::apiClientErrorName(error.error());
        switch (error.error()) {
        case backend::ApiClientError::BadConnection:
            return SignInView::kBadConnectionText;
        case backend::ApiClientError::SignInWrongCredentials:
            return SignInView::kWrongCredentialsText;
        default:
            return SignInView::kSomethingWentWrongText;
        }
    } catch (...) {
        qCInfo(lcSignIn) << "sign-in failed with an unexpected answer";
        return SignInView::kSomethingWentWrongText;
    }
}

} // namespace

// One sign-in request. A free coroutine owning its inputs: the form may be closed while it waits, and a
// success must still make the user signed in, since the client has stored the tokens by then.
class SignInAttempt
{
public:
    static QCoro::Task<> run(backend::ApiClient *client, backend::SessionDelegate *session, QPointer<SignInView> view,
                             QString username, QString password)
    {
        std::optional<backend::ApiAuth::UserIdentity> identity;
        std::exception_ptr failure;
        try {
            QCoro::Task<backend::ApiAuth::UserIdentity> request = client->signIn(username, password);
            identity = co_await std::move(request);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!identity) {
            const QString text = failureText(failure);
            if (view)
                view->finishSignIn(text);
            co_return;
        }
        qCInfo(lcSignIn) << "signed in";
        if (view)
            view->markSignedIn();
        if (session)
            session->setUser(identity->id, identity->email);
        if (view) {
            emit view->signedIn(identity->id, identity->email);
            view->finishSignIn(std::nullopt);
        }
    }
};

SignInView::SignInView(Dependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_deps(std::move(dependencies))
    , m_email(new BrandInput(QStringLiteral("Email"), BrandInput::Type::Text, this))
    , m_password(new BrandInput(QStringLiteral("Password"), BrandInput::Type::Password, this))
    , m_forgot(new BrandButton(QStringLiteral("Forgot password"), std::nullopt, BrandButton::Type::Text,
                               BrandButton::Shape::Smooth, BrandButton::Size::Small, this))
    , m_continue(new BrandButton(QStringLiteral("Continue"), std::nullopt, BrandButton::Type::Primary,
                                 BrandButton::Shape::Smooth, BrandButton::Size::Medium, this))
    , m_bannerAnchor(new QWidget(this))
{
    m_email->setShouldValidateEachChange(false);
    m_email->setOnValidate([this](const QString &text) { checkEmail(text); });
    m_password->setShouldValidateEachChange(false);
    m_password->setOnSubmit([this] { submitIfFilled(); });
    m_continue->setFullSize(true);
    m_forgot->setFixedHeight(20);
    m_bannerAnchor->setFixedHeight(1);

    auto *form = new QWidget;
    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The banner is not in the layout: it stands upward from this 1-px anchor over the space above (the
    // title block included), so showing or hiding it never moves the fields.
    layout->addWidget(m_bannerAnchor);
    layout->addSpacing(8);
    layout->addWidget(m_email);
    layout->addSpacing(4);
    layout->addWidget(m_password);
    layout->addSpacing(6);
    layout->addWidget(m_forgot, 0, Qt::AlignLeft);
    layout->addSpacing(12);
    layout->addWidget(m_continue);
    layout->addSpacing(12);
    for (QWidget *child :
         {static_cast<QWidget *>(m_bannerAnchor), static_cast<QWidget *>(m_email), static_cast<QWidget *>(m_password),
          static_cast<QWidget *>(m_forgot), static_cast<QWidget *>(m_continue)})
        child->setParent(form);

    m_page = new OnboardingMenuElement(QStringLiteral("Sign in"), QStringLiteral("Log in with your email & password."),
                                       nullptr, form, this);
    connect(m_page, &OnboardingMenuElement::quitChosen, this, &SignInView::quitChosen);
    // The anchor moves when the page lays itself out, after this view's own resize.
    m_bannerAnchor->installEventFilter(this);
    auto *pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(m_page);

    connect(m_email, &BrandInput::textChanged, this, &SignInView::refresh);
    connect(m_password, &BrandInput::textChanged, this, &SignInView::refresh);
    connect(m_continue, &BrandButton::clicked, this, &SignInView::startSignIn);
    connect(m_forgot, &BrandButton::clicked, this, [this] {
        const QUrl page = forgotPasswordUrl(m_deps.webBase);
        if (page.isValid())
            QDesktopServices::openUrl(page);
        else
            qCWarning(lcSignIn) << "no password-reset page: the web address is not usable";
    });
    refresh();
}

std::optional<QString> SignInView::bannerText() const
{
    return m_loginError ? m_loginError : m_validationError;
}

QUrl SignInView::forgotPasswordUrl(const QUrl &webBase)
{
    return web::pageAt(webBase, kForgotPasswordPath);
}

void SignInView::checkEmail(const QString &text)
{
    if (platform::format::isValidEmail(text))
        m_validationError.reset();
    else
        m_validationError = kInvalidEmailText;
    refresh();
}

void SignInView::submitIfFilled()
{
    if (m_email->text().isEmpty() || m_password->text().isEmpty())
        return;
    startSignIn();
}

void SignInView::startSignIn()
{
    // One request at a time, and none once signed in: a second click, Return while loading, or Continue
    // after success would otherwise sign in twice.
    if (m_loading || m_signedIn || m_email->text().isEmpty() || m_password->text().isEmpty())
        return;
    m_loading = true;
    m_loginError.reset();
    refresh();
    SignInAttempt::run(m_deps.client, m_deps.session, QPointer<SignInView>(this), m_email->text(), m_password->text());
}

void SignInView::markSignedIn()
{
    m_signedIn = true;
}

void SignInView::finishSignIn(const std::optional<QString> &failureText)
{
    m_loading = false;
    m_loginError = failureText;
    refresh();
}

void SignInView::refresh()
{
    const bool filled = !m_email->text().isEmpty() && !m_password->text().isEmpty();
    m_continue->setLoading(m_loading);
    m_continue->setEnabled(filled);
    m_email->setError(m_validationError.has_value() || m_loginError.has_value());
    m_password->setError(m_loginError.has_value());

    const std::optional<QString> text = bannerText();
    if (!text) {
        delete m_banner;
        m_banner = nullptr;
        return;
    }
    if (!m_banner) {
        m_banner = new designsystem::ErrorBanner(*text, {}, this);
        m_banner->show();
    } else {
        m_banner->setMessage(*text);
    }
    placeBanner();
}

bool SignInView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bannerAnchor && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeBanner();
    return QWidget::eventFilter(watched, event);
}

void SignInView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeBanner();
}

void SignInView::placeBanner()
{
    if (!m_banner)
        return;
    const QSize size(kBannerWidth, m_banner->heightForWidth(kBannerWidth) > 0 ? m_banner->heightForWidth(kBannerWidth)
                                                                              : m_banner->sizeHint().height());
    const int bottom = m_bannerAnchor->mapTo(this, QPoint(0, m_bannerAnchor->height() - 1)).y();
    m_banner->setGeometry((width() - size.width()) / 2, bottom - size.height(), size.width(), size.height());
    m_banner->raise();
}

} // namespace brelta::screens
