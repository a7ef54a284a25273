#pragma once

#include "IdleTimeSource.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

/// The X server's own idle time: the SYNC extension's "IDLETIME" system counter, else
/// MIT-SCREEN-SAVER's idle figure (which goes wrong across monitor power-saving changes, hence only
/// the fallback). One round trip to the server per query. A server without either extension, or
/// a lost one, makes it unavailable (answers 0).
class X11IdleTimeSource final : public IdleTimeSource {
public:
    enum class Method { Unavailable, SyncIdleCounter, ScreenSaverInfo };

    /// Asks through \a connection, borrowed: it must outlive this object; null means unavailable.
    /// \a preferred ScreenSaverInfo skips the SYNC counter.
    explicit X11IdleTimeSource(xcb_connection_t* connection, Method preferred = Method::SyncIdleCounter);
    ~X11IdleTimeSource() override;

    /// Asks through a connection of its own to \a displayName, which it owns. This is what the
    /// program uses: every reply on Qt's connection would also wake Qt's event reader thread,
    /// and the tick asks five times a second all day (0.03 % of a core).
    static std::unique_ptr<X11IdleTimeSource> withOwnConnection(const QByteArray& displayName,
                                                                Method preferred = Method::SyncIdleCounter);
    X11IdleTimeSource(const X11IdleTimeSource&) = delete;
    X11IdleTimeSource& operator=(const X11IdleTimeSource&) = delete;

    double secondsSinceLastInput() override;
    bool isAvailable() const override;
    /// The method in use.
    Method method() const;

private:
    bool findIdleCounter();
    bool hasScreenSaverInfo();
    double syncIdleSeconds();
    double screenSaverIdleSeconds();

    struct Disconnect {
        void operator()(xcb_connection_t* connection) const;
    };
    std::unique_ptr<xcb_connection_t, Disconnect> owned; // set only by withOwnConnection()
    xcb_connection_t* connection = nullptr;
    Method active = Method::Unavailable;
    std::uint32_t idleCounter = 0; // xcb_sync_counter_t
    std::uint32_t root = 0;        // the drawable MIT-SCREEN-SAVER asks for; any screen's will do
};
