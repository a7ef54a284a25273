#include "FirstRunNotice.h"

#include "Alerts.h"
#include "UserDefaults.h"

void showFirstRunIfNeeded(UserDefaults& defaults, Alerts& alerts) {
    const QString key = QStringLiteral("CLDidShowFirstRun");
    if (defaults.boolForKey(key))
        return;
    alerts.runModal(
        {QStringLiteral("Welcome to Corlune Track"),
         QStringLiteral("This app tracks your work hours. It auto-pauses when you're inactive and resumes "
                        "when you return. Input counts (keys/clicks) are only tracked while clocked in. "
                        "Data is stored locally and will sync when online."),
         AlertSpec::Style::Informational,
         {QStringLiteral("Got it")}});
    defaults.setBool(key, true);
}
