#include "UpdateChecker.h"

#include "Alerts.h"
#include "JsonTransport.h"
#include "UpdateCheck.h"

#include <QMetaObject>
#include <QTimer>

UpdateChecker::UpdateChecker(JsonTransport& transport, Alerts& alerts, QUrl serviceUrl, UrlOpener openUrl,
                             QObject* parent)
    : QObject(parent)
    , transport(transport)
    , alerts(alerts)
    , serviceUrl(std::move(serviceUrl))
    , openUrl(std::move(openUrl)) {
    background.setMaxThreadCount(1);
}

UpdateChecker::~UpdateChecker() {
    // The check's thread uses the transport, which the owner destroys after this object.
    background.waitForDone();
}

void UpdateChecker::scheduleCheck(int delayMs) {
    QTimer::singleShot(delayMs, this, [this] { background.start([this] { checkAndPromptForUpdate(); }); });
}

void UpdateChecker::checkAndPromptForUpdate() {
    const JsonReply reply =
        transport.sendJSONRequestMethod(QStringLiteral("GET"), QStringLiteral("/api/version"), std::nullopt);
    const std::optional<QJsonValue> offer =
        UpdateCheck::versionToOffer(reply, UpdateCheck::currentAppVersion());
    if (offer)
        promptInstallForVersion(*offer);
}

void UpdateChecker::promptInstallForVersion(const QJsonValue& version) {
    QMetaObject::invokeMethod(
        this, [this, version] { runPrompt(version); }, Qt::QueuedConnection);
}

void UpdateChecker::runPrompt(const QJsonValue& version) {
    const AlertSpec offer{QStringLiteral("Update available"),
                          UpdateCheck::promptText(version, UpdateCheck::currentAppVersion()),
                          AlertSpec::Style::Informational,
                          {QStringLiteral("Install"), QStringLiteral("Later")}};
    const bool install = alerts.runModal(offer) == 0;
    if (install && serviceUrl.isValid() && openUrl)
        openUrl(serviceUrl);
}
