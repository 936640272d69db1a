#include "shell/popovers/MainRoot.h"

#include <QVBoxLayout>

namespace brelta::shell {

MainRoot::MainRoot(std::function<bool()> signedIn, QWidget *mainView, QWidget *signIn, QWidget *parent)
    : QWidget(parent)
    , m_signedIn(std::move(signedIn))
    , m_mainView(mainView)
    , m_signIn(signIn)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainView);
    layout->addWidget(signIn);
    refresh();
}

MainRoot::MainRoot(std::function<bool()> signedIn, QWidget *mainView, std::function<QWidget *()> makeSignIn,
                   QWidget *parent)
    : QWidget(parent)
    , m_signedIn(std::move(signedIn))
    , m_mainView(mainView)
    , m_makeSignIn(std::move(makeSignIn))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainView);
    refresh();
}

void MainRoot::refresh()
{
    const bool signedIn = m_signedIn();
    if (m_makeSignIn) {
        if (signedIn && m_signIn) {
            // A sign-in still on its way finishes without the form (it guards against that).
            m_signIn->hide();
            m_signIn->deleteLater();
            m_signIn = nullptr;
        } else if (!signedIn && !m_signIn) {
            m_signIn = m_makeSignIn();
            layout()->addWidget(m_signIn);
        }
    }
    if (m_signIn)
        m_signIn->setVisible(!signedIn);
    m_mainView->setVisible(signedIn);
}

void MainRoot::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}

} // namespace brelta::shell
