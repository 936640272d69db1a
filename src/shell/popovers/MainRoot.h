#pragma once

#include <QWidget>

#include <functional>

namespace brelta::shell {

// The root of the main popover: the main view while a user is signed in, the sign-in screen otherwise.
// Which one is decided each time the popover is shown (and on refresh()), from the stored user name.
class MainRoot : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of both views.
    MainRoot(std::function<bool()> signedIn, QWidget *mainView, QWidget *signIn, QWidget *parent = nullptr);

    QWidget *mainView() const { return m_mainView; }
    QWidget *signInView() const { return m_signIn; }
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::function<bool()> m_signedIn;
    QWidget *m_mainView;
    QWidget *m_signIn;
};

} // namespace brelta::shell
