#pragma once

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace brelta::testsupport::calendar {

// The user's browser: loads the consent page and follows its redirect to the app's loopback listener.
class Browser
{
public:
    bool open(const QUrl &url)
    {
        opened << url;
        if (!follow)
            return true;
        QNetworkRequest consent(url);
        consent.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *page = m_network.get(consent);
        QObject::connect(page, &QNetworkReply::finished, page, [this, page] {
            page->deleteLater();
            const QUrl back = QUrl::fromEncoded(page->rawHeader("Location"));
            if (back.isValid() && !back.isEmpty())
                m_network.get(QNetworkRequest(back))->setParent(&m_network);
        });
        return works;
    }

    bool follow = true;
    bool works = true;
    QList<QUrl> opened;

private:
    QNetworkAccessManager m_network;
};

} // namespace brelta::testsupport::calendar
