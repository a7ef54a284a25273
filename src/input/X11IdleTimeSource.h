#pragma once

#include "IdleTimeSource.h"

#include <QByteArray>

#include <memory>

class X11Connection;

/// The X server's own idle time, on a connection of our own: the SYNC extension's "IDLETIME"
/// system counter, else MIT-SCREEN-SAVER's idle figure (which goes wrong across monitor
/// power-saving changes, hence only the fallback). One round trip to the server per query.
/// A server without either extension, or a lost one, makes it unavailable (answers 0).
class X11IdleTimeSource final : public IdleTimeSource {
public:
    enum class Method { Unavailable, SyncIdleCounter, ScreenSaverInfo };

    /// \a displayName empty means $DISPLAY. \a preferred ScreenSaverInfo skips the SYNC counter.
    explicit X11IdleTimeSource(const QByteArray& displayName = {},
                               Method preferred = Method::SyncIdleCounter);
    ~X11IdleTimeSource() override;
    X11IdleTimeSource(const X11IdleTimeSource&) = delete;
    X11IdleTimeSource& operator=(const X11IdleTimeSource&) = delete;

    double secondsSinceLastInput() override;
    bool isAvailable() const override;
    /// The method in use.
    Method method() const;

private:
    bool findIdleCounter();
    bool hasScreenSaverInfo();
    void discardQueuedEvents();

    std::unique_ptr<X11Connection> connection;
    Method active = Method::Unavailable;
    unsigned long idleCounter = 0; // XSyncCounter
};
