#pragma once

#include "IdleTimeSource.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

/// The X server's own idle time: the SYNC extension's "IDLETIME" system counter, else
/// MIT-SCREEN-SAVER's idle figure (which goes wrong across monitor power-saving changes, hence
/// only the fallback). One round trip to the server per query, on a connection of its own: on
/// Qt's, every reply would also wake Qt's event reader thread, five times a second all day. A
/// server without either extension, or a lost one, makes it unavailable (answers 0).
class X11IdleTimeSource final : public IdleTimeSource {
public:
    enum class Method { Unavailable, SyncIdleCounter, ScreenSaverInfo };

    /// Connects to \a displayName (empty: $DISPLAY). \a preferred ScreenSaverInfo skips the
    /// SYNC counter.
    explicit X11IdleTimeSource(const QByteArray& displayName, Method preferred = Method::SyncIdleCounter);
    ~X11IdleTimeSource() override;
    X11IdleTimeSource(const X11IdleTimeSource&) = delete;
    X11IdleTimeSource& operator=(const X11IdleTimeSource&) = delete;

    double secondsSinceLastInput() override;
    bool isAvailable() const override;

private:
    bool findIdleCounter();
    bool hasScreenSaverInfo();
    double syncIdleSeconds();
    double screenSaverIdleSeconds();

    struct Disconnect {
        void operator()(xcb_connection_t* connection) const;
    };
    /// Never null: a connection that failed is in an error state, which isUsable() tells.
    std::unique_ptr<xcb_connection_t, Disconnect> connection;
    Method active = Method::Unavailable;
    std::uint32_t idleCounter = 0; // xcb_sync_counter_t
    std::uint32_t root = 0;        // the drawable MIT-SCREEN-SAVER asks for; any screen's will do
};
