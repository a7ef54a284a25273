// The X server's idle time under Xvfb, with input made through XTEST.
#include "X11IdleTimeSource.h"
#include "XDesktop.h"
#include "XcbRequests.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Method = X11IdleTimeSource::Method;

class X11IdleTimeSourceTest : public ::testing::TestWithParam<Method> {};

TEST_P(X11IdleTimeSourceTest, FallsOnAKeyOrAMouseMoveThenGrowsInSeconds) {
    XDesktop desktop;
    X11IdleTimeSource source(XcbRequests::qtDisplayName(), GetParam());
    ASSERT_TRUE(source.isAvailable());
    const std::function<void()> inputs[] = {[&] { desktop.key("Shift_L"); },
                                            [&] { desktop.movePointerBy(3, -3); }};
    for (const auto& input : inputs) {
        input();
        QElapsedTimer since;
        since.start();
        EXPECT_LT(source.secondsSinceLastInput(), 0.5);
        ASSERT_TRUE(QTest::qWaitFor([&] { return source.secondsSinceLastInput() >= 1.0; }, 10000))
            << "the idle time did not grow";
        EXPECT_NEAR(source.secondsSinceLastInput(), since.elapsed() / 1000.0, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(BothMethods, X11IdleTimeSourceTest,
                         ::testing::Values(Method::SyncIdleCounter, Method::ScreenSaverInfo));

} // namespace
