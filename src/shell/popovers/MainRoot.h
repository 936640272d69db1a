#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace brelta::shell {

// The root of the main popover: the main view while a user is signed in, the sign-in screen otherwise.
// Which one is decided each time the popover is shown (and on refresh()), from the stored user name.
class MainRoot : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of both views; the same sign-in view serves every signed-out showing.
    MainRoot(std::function<bool()> signedIn, QWidget *mainView, QWidget *signIn, QWidget *parent = nullptr);
    // Takes ownership of the main view. The sign-in screen is made by `makeSignIn` whenever the popover
    // turns to it and discarded once a user is signed in, so each sign-out shows a fresh, empty form.
    MainRoot(std::function<bool()> signedIn, QWidget *mainView, std::function<QWidget *()> makeSignIn,
             QWidget *parent = nullptr);

    QWidget *mainView() const { return m_mainView; }
    // Null while a user is signed in and the screen is made on demand.
    QWidget *signInView() const { return m_signIn; }
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::function<bool()> m_signedIn;
    QWidget *m_mainView;
    QPointer<QWidget> m_signIn;
    std::function<QWidget *()> m_makeSignIn;
};

} // namespace brelta::shell
