#pragma once

#include <chrono>
#include <vector>

struct _XDisplay;

/// Every image another client puts or copies into a drawable of the display — core PutImage and
/// CopyArea, MIT-SHM ShmPutImage: the ways Qt's X11 backing store flushes what it repainted, into
/// the window or through a pixmap — with its target and rectangle, seen through the RECORD
/// extension as the server receives the request.
class PaintRecorder {
public:
    using Clock = std::chrono::steady_clock;

    struct Paint {
        unsigned long window = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        Clock::time_point at;
    };

    /// Starts recording at once, for every client present and future; throws
    /// std::runtime_error when the display has no RECORD extension.
    PaintRecorder();
    ~PaintRecorder();
    PaintRecorder(const PaintRecorder&) = delete;
    PaintRecorder& operator=(const PaintRecorder&) = delete;

    /// The recording connection's socket: readable when process() has something to read.
    int fd() const;
    void process();
    const std::vector<Paint>& paints() const { return log; }

private:
    static void intercepted(char* self, void* data);

    _XDisplay* control = nullptr;
    _XDisplay* data = nullptr;
    unsigned long context = 0;
    int shmOpcode = -1;
    std::vector<Paint> log;
};
