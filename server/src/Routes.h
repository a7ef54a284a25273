#pragma once

#include "Handlers.h"
#include "Options.h"
#include "StopSignal.h"

#include <httplib.h>

#include <chrono>

namespace corlune::server {

inline constexpr std::size_t maxBodyBytes = 64 * 1024;

struct AnswerDelay {
    std::chrono::milliseconds duration{0};
    DelayScope scope = DelayScope::Events;
};

/// Binds every endpoint to its handler. A known path asked with another method answers 405
/// with an Allow header, an unknown path 404, a body over 64 KiB 413: every answer, refusals
/// and httplib's own included, carries a JSON object.
void installRoutes(httplib::Server& server, Handlers& handlers, AnswerDelay delay, StopSignal& stop);

} // namespace corlune::server
