#pragma once

// When a reply wait ends, counted in ticks rather than timed: as soon as
// its reply is accepted or its last tick has come, not at some later event.
// With a tick far longer than the converter takes to answer, an answered
// exchange must return before any tick, and an unanswered one must return
// on the tick that spends its budget, not on the one after it. Shared by
// the device link's tests against the simulated converter on every system.

#include "link/devicelink.h"

#include <QScopeGuard>
#include <QtTest>

namespace lk58::test {

enum class TWaitedExchange { Ping, ReadAll, Write16, Unanswered };

} // namespace lk58::test

Q_DECLARE_METATYPE(lk58::test::TWaitedExchange)

namespace lk58::test {

inline void WaitEndRows()
{
    QTest::addColumn<TWaitedExchange>("exchange");
    QTest::addColumn<int>("tickMs");
    QTest::addColumn<int>("ticksLeft"); // when the exchange returns
    QTest::newRow("ping answered") << TWaitedExchange::Ping << 5000 << 15;
    QTest::newRow("read-all answered") << TWaitedExchange::ReadAll << 5000 << 150;
    QTest::newRow("write acknowledged") << TWaitedExchange::Write16 << 5000 << 15;
    // No converter has a parameter 65: the write is ignored, and the one
    // attempt of a 32-bit write runs out after its 50 ticks.
    QTest::newRow("write unanswered") << TWaitedExchange::Unanswered << 20 << 0;
}

// Runs the row's exchange on `link`, whose tick is set to the row's for it.
inline void CheckWaitEnd(TDeviceLink& link)
{
    QFETCH(TWaitedExchange, exchange);
    QFETCH(int, tickMs);
    QFETCH(int, ticksLeft);
    const int tick = link.TmrTimeOut.interval();
    const auto restore = qScopeGuard([&] { link.TmrTimeOut.setInterval(tick); });
    link.TmrTimeOut.setInterval(tickMs);
    switch (exchange) {
    case TWaitedExchange::Ping: QVERIFY(link.Ping()); break;
    case TWaitedExchange::ReadAll: QVERIFY(link.ReadAll()); break;
    case TWaitedExchange::Write16: QVERIFY(link.SendInt(20, 7)); break;
    case TWaitedExchange::Unanswered: QVERIFY(!link.SendLong(65, 1)); break;
    }
    QCOMPARE(link.TicksLeft(), ticksLeft);
}

} // namespace lk58::test
