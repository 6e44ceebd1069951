#include "foundation/LoopbackNetwork.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QPointer>

QNetworkAccessManager& loopbackNetwork() {
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setProxy(QNetworkProxy::NoProxy);
        // Nothing the app sends follows a redirect: a 3xx answer reaches the caller as it is.
        manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *manager;
}
