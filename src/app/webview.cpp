#include "webview.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QResizeEvent>
#include <QTextBrowser>

#ifdef ZENTRAQ_HAVE_WEBENGINE
#include <QCoreApplication>
#include <QLibrary>
#include <QOpenGLWidget>
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
        // White until the engine's view takes its place. The engine draws
        // through OpenGL, and a window that draws without cannot take it
        // later without being made anew, which the user would see as the
        // window vanishing and coming back: a hidden OpenGL widget makes
        // the window draw through OpenGL from the start.
        m_engineWanted = true;
        (new QOpenGLWidget(this))->hide();
        setAutoFillBackground(true);
        QPalette white = palette();
        white.setColor(QPalette::Window, Qt::white);
        setPalette(white);
        qApp->installEventFilter(this);
        return;
    }
#endif
    auto* browser = new QTextBrowser(this);
    browser->setOpenLinks(false);
    m_view = browser;
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
}

// Waits for the first paint of the window: the engine view is made once
// that has been handed to the window system, from the event loop.
bool WebView::eventFilter(QObject* watched, QEvent* e) {
    if (m_engineWanted && e->type() == QEvent::Paint && watched == window()) {
        qApp->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &WebView::createEngine, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, e);
}

void WebView::createEngine() {
    if (!m_engineWanted)
        return;
    m_engineWanted = false;
#ifdef ZENTRAQ_HAVE_WEBENGINE
    // The module lies where the command-line tool's libraries do, in a
    // build tree as in an installation.
    QLibrary module(QCoreApplication::applicationDirPath() +
                    QStringLiteral("/" ZENTRAQ_WEBVIEW_LIBRARY_FROM_BINDIR));
    using Create = QWidget* (*)(QWidget*);
    const auto create = reinterpret_cast<Create>(module.resolve("zentraq_engine_view"));
    m_load = reinterpret_cast<Load>(module.resolve("zentraq_engine_load"));
    if (create && m_load) {
        m_engine = create(this);
        m_view = m_engine;
        m_view->setGeometry(rect());
        setFocusProxy(m_view);
        if (m_url.isValid())
            m_load(m_engine, &m_url);
        m_view->show();
        return;
    }
#endif
    // Without the module the plain browser shows the page.
    auto* browser = new QTextBrowser(this);
    browser->setOpenLinks(false);
    m_view = browser;
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
    m_view->show();
    if (m_url.isValid())
        Navigate(m_url);
}

void WebView::Navigate(const QUrl& url) {
    m_url = url;
    if (m_engineWanted)
        return; // the engine's view goes there once it is made
    if (m_engine) {
        m_load(m_engine, &m_url);
        return;
    }
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
    if (m_view)
        m_view->setGeometry(rect());
}

} // namespace zentraq
