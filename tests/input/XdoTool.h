#pragma once

#include <QStringList>

/// Runs xdotool with \a arguments (input through XTEST into the test's X server) and waits for
/// it to finish, bounded. xdotool closes its connection with a round trip, so when this returns
/// the server has turned every request into events. False when it failed.
bool xdotool(const QStringList& arguments);
