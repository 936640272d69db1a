#include "designsystem/components/Alert.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/Typography.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace brelta::designsystem {

namespace {

QString styleSheet()
{
    const QFont body = Typography::bodyFont(BodySize::Medium, BodyWeight::Regular);
    const QFont bold = Typography::bodyFont(BodySize::Medium, BodyWeight::Bold);
    return QStringLiteral("QMessageBox { background-color: %1; }"
                          "QMessageBox QLabel { color: %2; font-family: \"%3\"; font-size: %4px; }"
                          "QMessageBox QLabel#qt_msgbox_label { font-family: \"%5\"; font-weight: bold; }"
                          "QMessageBox QPushButton { background-color: %6; color: %2; border: none;"
                          " border-radius: 16px; padding: 6px 20px; min-width: 64px;"
                          " font-family: \"%5\"; font-weight: bold; font-size: %4px; }"
                          "QMessageBox QPushButton:focus { outline: none; border: 1px solid %7; }")
        .arg(Colors::gray800().name(QColor::HexRgb), Colors::gray100().name(QColor::HexRgb), body.family())
        .arg(body.pixelSize())
        .arg(bold.family(), Colors::brandPurple().name(QColor::HexRgb), Colors::gray200().name(QColor::HexRgb));
}

} // namespace

std::unique_ptr<QMessageBox> createAlert(const QString &title, const QString &message, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QStringLiteral("Brelta"));
    // Texts reach here from the backend and from errors; rich text would render any markup in them.
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(message);
    // QMessageBox reads the informative text as rich text when it looks like HTML, and opens links in both.
    for (const QString &name : {QStringLiteral("qt_msgbox_label"), QStringLiteral("qt_msgbox_informativelabel")}) {
        if (auto *label = box->findChild<QLabel *>(name)) {
            label->setTextFormat(Qt::PlainText);
            label->setOpenExternalLinks(false);
        }
    }
    const qreal ratio = parent ? parent->devicePixelRatioF() : qGuiApp->devicePixelRatio();
    QPixmap icon = QPixmap::fromImage(Icons::image(IconName::Info, 32, Colors::info(), ratio));
    icon.setDevicePixelRatio(ratio);
    box->setIconPixmap(icon);
    QPushButton *close = box->addButton(QMessageBox::Close);
    // The standard button's text follows the platform's translation; the kit's alert always says "Close".
    close->setText(QStringLiteral("Close"));
    close->setIcon(QIcon());
    box->setDefaultButton(QMessageBox::Close);
    box->setEscapeButton(QMessageBox::Close);
    box->setStyleSheet(styleSheet());
    return box;
}

void ModalAlertPresenter::showAlert(const QString &title, const QString &message)
{
    const std::unique_ptr<QMessageBox> box = createAlert(title, message, m_parent);
    box->exec();
}

} // namespace brelta::designsystem
