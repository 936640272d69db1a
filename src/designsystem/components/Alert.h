#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

namespace brelta::designsystem {

// Shows a failure the user must see and wait on: a title, a message (often empty) and one "Close" button.
// Screens take an AlertPresenter so a test can see what would have been shown.
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;
    // Returns once the user has closed the alert.
    virtual void showAlert(const QString &title, const QString &message) = 0;
};

// The kit-styled modal message box: the title as its text, the message as its informative text, both
// shown as plain text (they may come from the backend), the information icon, one "Close" button.
std::unique_ptr<QMessageBox> createAlert(const QString &title, const QString &message, QWidget *parent = nullptr);

// Runs createAlert() modally, on the main thread.
class ModalAlertPresenter final : public AlertPresenter
{
public:
    // Alerts are centred over `parent`, or on the screen when it is null.
    explicit ModalAlertPresenter(QWidget *parent = nullptr) : m_parent(parent) {}
    void showAlert(const QString &title, const QString &message) override;

private:
    QWidget *m_parent;
};

} // namespace brelta::designsystem
