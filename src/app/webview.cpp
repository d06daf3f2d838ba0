#include "webview.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QResizeEvent>
#include <QTextBrowser>

#ifdef ZENTRAQ_HAVE_WEBENGINE
#include <QWebEngineView>
#endif

namespace zentraq {
namespace {
#ifdef ZENTRAQ_HAVE_WEBENGINE
bool g_engineEnabled = true;
#else
bool g_engineEnabled = false;
#endif
} // namespace

void WebView::setEngineEnabled(bool on) {
    g_engineEnabled = on && engineAvailable();
}

bool WebView::engineAvailable() {
#ifdef ZENTRAQ_HAVE_WEBENGINE
    return true;
#else
    return false;
#endif
}

WebView::WebView(QWidget* parent) : QWidget(parent) {
#ifdef ZENTRAQ_HAVE_WEBENGINE
    if (g_engineEnabled) {
        auto* view = new QWebEngineView(this);
        m_engine = view;
        m_view = view;
    }
#endif
    if (!m_view) {
        auto* browser = new QTextBrowser(this);
        browser->setOpenLinks(false);
        m_view = browser;
    }
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
}

void WebView::Navigate(const QUrl& url) {
    m_url = url;
#ifdef ZENTRAQ_HAVE_WEBENGINE
    if (auto* view = qobject_cast<QWebEngineView*>(m_engine)) {
        view->load(url);
        return;
    }
#endif
    // Plain browser: fetch the page ourselves and show it as rich text. A
    // failed fetch shows what went wrong, as a browser would.
    auto* browser = static_cast<QTextBrowser*>(m_view);
    if (!m_net)
        m_net = new QNetworkAccessManager(this);
    QNetworkReply* reply = m_net->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, browser, [browser, reply, this] {
        reply->deleteLater();
        if (reply->url() != m_url && reply->request().url() != m_url)
            return; // a later navigation replaced this one
        if (reply->error() == QNetworkReply::NoError) {
            browser->setHtml(QString::fromUtf8(reply->readAll()));
        } else {
            browser->setPlainText(
                tr("无法显示此页: %1\n%2").arg(m_url.toString(), reply->errorString()));
        }
    });
}

void WebView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_view->setGeometry(rect());
}

} // namespace zentraq
