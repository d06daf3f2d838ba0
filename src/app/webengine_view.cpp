// The web engine's view, in a module of its own that the window loads once
// it has been painted (webview.cpp): the engine's libraries take longer to
// load than the rest of the program together.
#include <QUrl>
#include <QWebEngineView>

// The view, a child of `parent`.
extern "C" Q_DECL_EXPORT QWidget* zentraq_engine_view(QWidget* parent) {
    return new QWebEngineView(parent);
}

// Sends `view`, made above, to `url`.
extern "C" Q_DECL_EXPORT void zentraq_engine_load(QWidget* view, const QUrl* url) {
    static_cast<QWebEngineView*>(view)->load(*url);
}
