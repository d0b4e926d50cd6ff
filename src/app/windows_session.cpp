#include "app/windows_session.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>

#include <windows.h>

#include "ui/form1.h"

namespace quorvel {

namespace {

QPointer<TForm1> theWindow;

// WM_ENDSESSION with wParam TRUE: the session ends for sure (every program
// agreed to WM_QUERYENDSESSION), and Windows ends the process soon after the
// message is answered, so the files are written before answering. Qt's own
// handling of the message follows.
class SessionEndFilter : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "windows_generic_MSG") {
            return false;
        }
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam != 0 && theWindow) {
            theWindow->closeNow();
        }
        return false;
    }
};

// Runs on a thread of its own that the system starts. The window is closed
// on its thread, and the handler waits for that: after the close, log-off
// and shutdown events the process ends as soon as the handler returns.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    const QPointer<TForm1> window = theWindow;
    if (!window) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        window.data(),
        [window] {
            if (window) {
                window->closeNow();
            }
        },
        Qt::BlockingQueuedConnection);
    return TRUE;
}

}  // namespace

void closeOnWindowsSessionEnd(TForm1* window) {
    theWindow = window;
    static SessionEndFilter filter;
    QCoreApplication::instance()->installNativeEventFilter(&filter);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace quorvel
