// The system's power control and sleep block, as far as a test may use them:
// it asks, holds and lets go, and never turns anything off.
#include "platform/powercontrol.h"
#include "platform/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

namespace {

bool loginManagerRuns()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    return bus.isConnected() && bus.interface()
           && bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value();
}

TEST(SystemPowerControl, AnswersWhetherItMayAndSaysWhyNot)
{
    SystemPowerControl power;
    const bool may = power.canPowerOff();
    EXPECT_EQ(may, power.lastError().isEmpty());
    if (!loginManagerRuns()) {
        EXPECT_FALSE(may) << "no login manager, yet turning off would be allowed";
    }
}

TEST(SystemSleepInhibitor, HoldsTheBlockUntilReleasedAndFailsQuietly)
{
    SystemSleepInhibitor inhibitor;
    inhibitor.release(); // nothing held: nothing happens
    EXPECT_FALSE(inhibitor.isHeld());

    inhibitor.inhibit(QStringLiteral("Testing the sleep block"));
    inhibitor.inhibit(QStringLiteral("A second time changes nothing"));
    // Held, or not held with the reason; never held without a login manager.
    EXPECT_EQ(inhibitor.isHeld(), inhibitor.lastError().isEmpty());
    if (!loginManagerRuns()) {
        EXPECT_FALSE(inhibitor.isHeld());
    }

    inhibitor.release();
    EXPECT_FALSE(inhibitor.isHeld());
    inhibitor.release();
    EXPECT_FALSE(inhibitor.isHeld());
}

} // namespace
