#pragma once

#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;

namespace zentraq {

// The home page's web view. It shows a web page in a full browser engine;
// where the engine is not available (a build without it, or tests that run
// without a display) it falls back to a plain text browser that fetches the
// page itself. The program only navigates it and never looks at the page.
class WebView : public QWidget {
    Q_OBJECT

public:
    explicit WebView(QWidget* parent = nullptr);

    void Navigate(const QUrl& url);
    // The address last navigated to.
    QUrl LocationURL() const { return m_url; }
    bool usesEngine() const { return m_engine != nullptr; }

    // Whether new views use the browser engine (tests switch it off).
    static void setEngineEnabled(bool on);
    static bool engineAvailable();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QWidget* m_view = nullptr;
    QWidget* m_engine = nullptr;
    QNetworkAccessManager* m_net = nullptr;
    QUrl m_url;
};

} // namespace zentraq
