#include "LocalInputFilter.h"

#include "ModifierKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>

LocalInputFilter::LocalInputFilter(Kind kind, std::function<void()> handler)
    : kind(kind)
    , handler(std::move(handler)) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

LocalInputFilter::~LocalInputFilter() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool LocalInputFilter::eventFilter(QObject* watched, QEvent* event) {
    // An application filter sees one press several times: at the window, then at the focus
    // widget and each parent it propagates to. The window sees it exactly once.
    if (!watched->isWindowType())
        return false;
    if (kind == Kind::Key && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!ModifierKeys::isModifierQtKey(key->key()) &&
            !ModifierKeys::isModifierKeysym(key->nativeVirtualKey()))
            handler();
    } else if (kind == Kind::Mouse && event->type() == QEvent::MouseButtonPress) {
        // A double click arrives as a second press followed by a MouseButtonDblClick, which is
        // not counted again. Wheel steps are QWheelEvents.
        handler();
    }
    return false;
}
