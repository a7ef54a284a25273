#include "AutostartEntry.h"

#include <gtest/gtest.h>

TEST(AutostartEntry, QuotesTheProgramAsTheExecKeyNeeds) {
    const struct {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/usr/bin/corlune-track", "\nExec=/usr/bin/corlune-track\n"},
        {"/opt/My Apps/corlune-track", "\nExec=\"/opt/My Apps/corlune-track\"\n"},
        {"/opt/100%/corlune-track", "\nExec=/opt/100%%/corlune-track\n"},
        {"/opt/$x\\y/corlune-track", "\nExec=\"/opt/\\\\$x\\\\\\\\y/corlune-track\"\n"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(AutostartEntry::contents(QString::fromUtf8(c.program)).contains(c.exec)) << c.program;
}
