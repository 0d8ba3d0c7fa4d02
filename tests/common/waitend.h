#pragma once

// When a reply wait ends, seen from the event dispatcher rather than timed:
// once the reply has been accepted, or the tick that spends the budget has
// come, the wait must return without the dispatcher going back to sleep
// (it would sleep until some later event, usually the next tick). Shared
// by the device link's tests against the simulated converter on every
// system.

#include "link/devicelink.h"

#include <QAbstractEventDispatcher>
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
    QTest::newRow("ping answered") << TWaitedExchange::Ping;
    QTest::newRow("read-all answered") << TWaitedExchange::ReadAll;
    QTest::newRow("write acknowledged") << TWaitedExchange::Write16;
    // No converter has a parameter 65: the write is ignored, and the one
    // attempt of a 32-bit write runs out after its 50 ticks.
    QTest::newRow("write unanswered") << TWaitedExchange::Unanswered;
}

// Runs the row's exchange on `link` and counts the dispatcher's sleeps
// after the wait's end had come.
inline void CheckWaitEnd(TDeviceLink& link)
{
    QFETCH(TWaitedExchange, exchange);
    bool over = false;
    int sleepsAfter = 0;
    link.SetTrace([&](TTraffic what, std::span<const std::uint8_t>) { over = over || what == TTraffic::Reply; });
    // Runs after the link's own tick handler, which was connected first.
    const auto tick = QObject::connect(&link.TmrTimeOut, &QTimer::timeout, [&] { over = over || link.TicksLeft() == 0; });
    const auto sleep = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                        [&] { sleepsAfter += over; });
    const auto restore = qScopeGuard([&] {
        QObject::disconnect(tick);
        QObject::disconnect(sleep);
        link.SetTrace({});
    });
    switch (exchange) {
    case TWaitedExchange::Ping: QVERIFY(link.Ping()); break;
    case TWaitedExchange::ReadAll: QVERIFY(link.ReadAll()); break;
    case TWaitedExchange::Write16: QVERIFY(link.SendInt(20, 7)); break;
    case TWaitedExchange::Unanswered: QVERIFY(!link.SendLong(65, 1)); break;
    }
    QVERIFY(over);
    QCOMPARE(sleepsAfter, 0);
}

} // namespace lk58::test
