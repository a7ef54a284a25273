#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

/// One time clock per user session. The first instance owns the session bus name
/// com.corlune.Track and answers org.freedesktop.Application.Activate on /com/corlune/Track; a
/// later launch asks it to show its window and ends. It also holds a lock in $XDG_RUNTIME_DIR,
/// which alone does the job where there is no session bus, and which an instance without the bus
/// and one with it both see.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Outcome {
        /// This process is the one instance.
        First,
        /// The running instance was asked to show its window.
        HandedOver,
        /// Another instance runs and could not be asked; message() says why.
        Refused,
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Needs the QApplication; blocks for at most the time the running instance has to answer.
    Outcome claim();
    QString message() const { return refusal; }

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

signals:
    /// A later launch asked this instance to show its window.
    void activateRequested();

private:
    Outcome claimBusName();
    bool lock();

    int lockFd = -1;
    QString refusal;
};
