#pragma once

#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;

namespace zentraq {

// The home page's web view. It shows a web page in a full browser engine;
// where the engine is not available (a build without it, or tests that run
// without a display) it falls back to a plain text browser that fetches the
// page itself. The program only navigates it and never looks at the page.
//
// Starting the engine costs more than the rest of the window together, so
// the engine view is made once the window has been painted for the first
// time, and goes to the address navigated to meanwhile; until then the view
// is the white of an empty page.
class WebView : public QWidget {
    Q_OBJECT

public:
    explicit WebView(QWidget* parent = nullptr);

    void Navigate(const QUrl& url);
    // The address last navigated to.
    QUrl LocationURL() const { return m_url; }
    // Whether the view is, or becomes at the window's first paint, the engine's.
    bool usesEngine() const { return m_engine != nullptr || m_engineWanted; }

    // Whether new views use the browser engine (tests switch it off).
    static void setEngineEnabled(bool on);
    static bool engineAvailable();

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createEngine();

    bool m_engineWanted = false; // the engine view is made at the window's first paint
    using Load = void (*)(QWidget*, const QUrl*);
    Load m_load = nullptr; // sends the engine's view to an address
    QWidget* m_view = nullptr;
    QWidget* m_engine = nullptr;
    QNetworkAccessManager* m_net = nullptr;
    QUrl m_url;
};

} // namespace zentraq
