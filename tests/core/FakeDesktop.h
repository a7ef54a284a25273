#pragma once

#include "AppDelegate.h"
#include "FakeClocks.h"
#include "FakeCredentialStore.h"
#include "FakeIdleTimeSource.h"
#include "FakeJsonTransport.h"
#include "FakeUserDefaults.h"
#include "GlobalInputMonitor.h"
#include "MainWindow.h"
#include "ProbeAddresses.h"
#include "ScriptedAlerts.h"
#include "ScriptedBreakPrompt.h"
#include "ScriptedSignInPrompt.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

/// Global input on demand: click() calls the installed mouse monitor. Logs every install and
/// removal ("add key", "remove mouse"...) in order. Must outlive its monitors.
class FakeGlobalInputMonitor final : public GlobalInputMonitor {
public:
    bool isAvailable() const override { return true; }
    std::unique_ptr<InputMonitor> addKeyMonitor(std::function<void()>) override { return add("key"); }
    std::unique_ptr<InputMonitor> addMouseMonitor(std::function<void()> handler) override {
        mouse = std::move(handler);
        return add("mouse");
    }
    /// Delivers the clicks the desktop made but had not yet delivered (clickNotYetDelivered()).
    void processPendingEvents() override {
        for (; undeliveredClicks > 0; --undeliveredClicks)
            click();
    }
    void click() {
        if (mouse)
            mouse();
    }
    void clickNotYetDelivered() { ++undeliveredClicks; }

    QStringList log;

private:
    struct Handle final : InputMonitor {
        Handle(FakeGlobalInputMonitor& owner, const char* kind)
            : owner(owner)
            , kind(kind) {}
        ~Handle() override {
            owner.log.append(QStringLiteral("remove ") + kind);
            if (kind == std::string_view("mouse"))
                owner.mouse = nullptr;
        }
        FakeGlobalInputMonitor& owner;
        const char* kind;
    };
    std::unique_ptr<InputMonitor> add(const char* kind) {
        log.append(QStringLiteral("add ") + kind);
        return std::make_unique<Handle>(*this, kind);
    }

    int undeliveredClicks = 0;
    std::function<void()> mouse;
};

/// An AppDelegate on fakes for everything outside the process but \a transport, with the real
/// window. The probed host is 127.0.0.1, reachable until a test says otherwise.
struct FakeDesktop {
    explicit FakeDesktop(std::unique_ptr<JsonTransport> transport) {
        AppDelegate::Services s;
        s.monotonic = own(monotonic);
        s.wall = own(wall);
        s.idle = own(idle);
        s.transport = std::move(transport);
        s.reachability = own(reachability);
        s.probeAddresses = std::make_unique<ProbeAddresses>(QStringLiteral("127.0.0.1"));
        s.globalMonitor = own(global);
        s.credentials = own(credentials);
        s.defaults = own(defaults);
        s.queueDatabasePath = queuePath();
        s.serviceUrl = QUrl(QStringLiteral("http://127.0.0.1:1"));
        s.openUrl = [](const QUrl&) { return true; };
        s.quit = [this] { ++quits; };
        s.alerts = own(alerts);
        s.signInPrompt = own(signInPrompt);
        s.breakPrompt = std::make_unique<ScriptedBreakPrompt>();
        modal = s.modalGate.get();
        reachability->reachable.insert(QHostAddress(QHostAddress::LocalHost));
        app = std::make_unique<AppDelegate>(std::move(s));
    }

    /// What "Stay signed in" left from an earlier launch, and the first-run notice seen if asked.
    void remember(const QString& employee, const QString& job, const QString& password, bool noticeSeen) {
        defaults->setString("CLLastEmpId", employee);
        defaults->setString("CLLastJobId", job);
        credentials->items.insert(employee + u'|' + job, password);
        defaults->setBool("CLDidShowFirstRun", noticeSeen);
    }

    /// Lets \a d pass on both clocks.
    void advance(std::chrono::milliseconds d) {
        monotonic->ns += std::chrono::nanoseconds(d).count();
        wall->instant = wall->instant.addMSecs(d.count());
    }

    QString queuePath() const { return folder.filePath(QStringLiteral("queue.sqlite3")); }

    static MainWindow* window() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<MainWindow*>(widget))
                return found;
        }
        return nullptr;
    }
    static void press(const char* button) { window()->findChild<QPushButton*>(button)->click(); }

    // Owned by the delegate; they live as long as it does.
    FakeMonotonicClock* monotonic = nullptr;
    FakeWallClock* wall = nullptr;
    FakeIdleTimeSource* idle = nullptr;
    FakeReachability* reachability = nullptr;
    FakeGlobalInputMonitor* global = nullptr;
    FakeCredentialStore* credentials = nullptr;
    FakeUserDefaults* defaults = nullptr;
    ScriptedAlerts* alerts = nullptr;
    ScriptedSignInPrompt* signInPrompt = nullptr;
    ModalGate* modal = nullptr;
    /// How often the program asked to leave its event loop.
    int quits = 0;
    QTemporaryDir folder;
    std::unique_ptr<AppDelegate> app;

private:
    template <typename Fake>
    static std::unique_ptr<Fake> own(Fake*& raw) {
        auto fake = std::make_unique<Fake>();
        raw = fake.get();
        return fake;
    }
};
