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

void MainRoot::refresh()
{
    const bool signedIn = m_signedIn();
    m_signIn->setVisible(!signedIn);
    m_mainView->setVisible(signedIn);
}

void MainRoot::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}

} // namespace brelta::shell
