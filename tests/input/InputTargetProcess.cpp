#include "InputTargetProcess.h"

#include <QTest>

namespace {
constexpr int boundMs = 10000;
}

InputTargetProcess::InputTargetProcess(QPoint topLeft)
    : topLeft(topLeft) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(CORLUNE_INPUT_TARGET),
                  {QString::number(topLeft.x()), QString::number(topLeft.y())});
    // windowId() stays empty when this runs out.
    (void)QTest::qWaitFor(
        [this] {
            readReports();
            return !id.isEmpty() || process.state() == QProcess::NotRunning;
        },
        boundMs);
}

InputTargetProcess::~InputTargetProcess() {
    process.kill();
    process.waitForFinished(boundMs);
}

void InputTargetProcess::readReports() {
    process.waitForReadyRead(10);
    while (process.canReadLine()) {
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        if (line.startsWith(QLatin1String("window ")))
            id = line.mid(7);
        else if (line.startsWith(QLatin1String("key ")))
            ++keyPresses;
        else if (line.startsWith(QLatin1String("button ")))
            ++buttonPresses;
    }
}

bool InputTargetProcess::waitForKeys(int count) {
    return QTest::qWaitFor(
        [this, count] {
            readReports();
            return keyPresses >= count;
        },
        boundMs);
}

bool InputTargetProcess::waitForButtons(int count) {
    return QTest::qWaitFor(
        [this, count] {
            readReports();
            return buttonPresses >= count;
        },
        boundMs);
}
