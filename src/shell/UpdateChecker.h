#pragma once

#include <QJsonValue>
#include <QObject>
#include <QThreadPool>
#include <QUrl>

#include <functional>

class Alerts;
class JsonTransport;

/// Asks the service once whether a newer version exists, off the GUI thread, and offers to
/// open the service's web site when it does.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    UpdateChecker(JsonTransport& transport, Alerts& alerts, QUrl serviceUrl, UrlOpener openUrl,
                  QObject* parent = nullptr);
    ~UpdateChecker() override;
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    /// Runs checkAndPromptForUpdate() on a background thread after \a delayMs.
    void scheduleCheck(int delayMs);
    /// The check itself; blocks its thread for up to the transport's wait.
    void checkAndPromptForUpdate();
    /// Hands the offer to the GUI thread and returns at once.
    void promptInstallForVersion(const QJsonValue& version);

private:
    void runPrompt(const QJsonValue& version);

    JsonTransport& transport;
    Alerts& alerts;
    QUrl serviceUrl;
    UrlOpener openUrl;
    QThreadPool background;
};
