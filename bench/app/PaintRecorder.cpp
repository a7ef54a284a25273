#include "PaintRecorder.h"

#include <cstring>
#include <stdexcept>

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <X11/extensions/shmproto.h>

PaintRecorder::PaintRecorder() {
    // RECORD delivers on a connection of its own; the context is made on another one.
    control = XOpenDisplay(nullptr);
    data = XOpenDisplay(nullptr);
    if (!control || !data)
        throw std::runtime_error("cannot open the X display $DISPLAY");
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(control, &major, &minor))
        throw std::runtime_error("the X server has no RECORD extension");
    int firstEvent = 0;
    int firstError = 0;
    int opcode = 0;
    if (XQueryExtension(control, "MIT-SHM", &opcode, &firstEvent, &firstError))
        shmOpcode = opcode;

    XRecordRange* ranges[3] = {XRecordAllocRange(), XRecordAllocRange(), XRecordAllocRange()};
    ranges[0]->core_requests.first = X_PutImage;
    ranges[0]->core_requests.last = X_PutImage;
    ranges[1]->core_requests.first = X_CopyArea;
    ranges[1]->core_requests.last = X_CopyArea;
    int rangeCount = 2;
    if (shmOpcode >= 0) {
        ranges[2]->ext_requests.ext_major.first = static_cast<unsigned char>(shmOpcode);
        ranges[2]->ext_requests.ext_major.last = static_cast<unsigned char>(shmOpcode);
        ranges[2]->ext_requests.ext_minor.first = X_ShmPutImage;
        ranges[2]->ext_requests.ext_minor.last = X_ShmPutImage;
        rangeCount = 3;
    }
    XRecordClientSpec clients = XRecordAllClients;
    context = XRecordCreateContext(control, 0, &clients, 1, ranges, rangeCount);
    for (XRecordRange* range : ranges)
        XFree(range);
    if (!context)
        throw std::runtime_error("cannot create a RECORD context");
    XSync(control, False);
    const XRecordInterceptProc callback = [](XPointer self, XRecordInterceptData* intercept) {
        PaintRecorder::intercepted(self, intercept);
    };
    if (!XRecordEnableContextAsync(data, context, callback, reinterpret_cast<XPointer>(this)))
        throw std::runtime_error("cannot enable the RECORD context");
}

PaintRecorder::~PaintRecorder() {
    if (context) {
        XRecordDisableContext(control, context);
        XRecordFreeContext(control, context);
        XSync(control, False);
    }
    if (data)
        XCloseDisplay(data);
    if (control)
        XCloseDisplay(control);
}

int PaintRecorder::fd() const {
    return ConnectionNumber(data);
}

void PaintRecorder::process() {
    XRecordProcessReplies(data);
}

void PaintRecorder::intercepted(char* self, void* raw) {
    auto* recorder = reinterpret_cast<PaintRecorder*>(self);
    auto* intercept = static_cast<XRecordInterceptData*>(raw);
    const auto* request = intercept->data;
    // Each of the requests is 24 bytes or more; data_len counts 4-byte units.
    if (intercept->category == XRecordFromClient && request && intercept->data_len >= 6) {
        Paint paint;
        paint.at = Clock::now();
        if (request[0] == X_PutImage) {
            xPutImageReq put;
            std::memcpy(&put, request, 4);
            // A BIG-REQUESTS request has length 0 and its real length in the next four bytes.
            const std::size_t skip = put.length == 0 ? 4 : 0;
            std::memcpy(reinterpret_cast<char*>(&put) + 4, request + 4 + skip, sizeof put - 4);
            paint = {put.drawable, put.dstX, put.dstY, put.width, put.height, paint.at};
            recorder->log.push_back(paint);
        } else if (request[0] == X_CopyArea) {
            xCopyAreaReq copy;
            std::memcpy(&copy, request, sizeof copy);
            paint = {copy.dstDrawable, copy.dstX, copy.dstY, copy.width, copy.height, paint.at};
            recorder->log.push_back(paint);
        } else if (request[0] == recorder->shmOpcode && request[1] == X_ShmPutImage &&
                   intercept->data_len * 4 >= sizeof(xShmPutImageReq)) {
            xShmPutImageReq put;
            std::memcpy(&put, request, sizeof put);
            paint = {put.drawable, put.dstX, put.dstY, put.srcWidth, put.srcHeight, paint.at};
            recorder->log.push_back(paint);
        }
    }
    XRecordFreeData(intercept);
}
