#include "core/apperror.h"
#include "core/synchronize.h"

#include <QtTest>

#include <atomic>
#include <future>
#include <thread>

using namespace lk58;

class TstSynchronize : public QObject {
    Q_OBJECT
private slots:
    void runsOnUiThreadOnlyWhenEventsAreProcessed()
    {
        std::atomic<bool> ran{false};
        QThread* ranOn = nullptr;
        std::thread worker([&] {
            Synchronize([&] {
                ranOn = QThread::currentThread();
                ran = true;
            });
        });
        QThread::msleep(50); // the worker is blocked, nothing is processed
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
        worker.join();
        QCOMPARE(ranOn, qApp->thread());
    }

    void blocksCallerUntilDone()
    {
        int value = 0;
        std::promise<int> seen;
        std::thread worker([&] {
            Synchronize([&] { value = 42; });
            seen.set_value(value); // written on the UI thread, read here
        });
        auto result = seen.get_future();
        while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QCOMPARE(result.get(), 42);
        worker.join();
    }

    void errorComesBackToCaller()
    {
        std::promise<QString> caught;
        std::thread worker([&] {
            try {
                Synchronize([] { throw std::runtime_error("raised on the UI thread"); });
                caught.set_value("nothing");
            } catch (const std::runtime_error& e) {
                caught.set_value(e.what());
            }
        });
        auto result = caught.get_future();
        while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents();
        worker.join();
        QCOMPARE(result.get(), QString("raised on the UI thread"));
    }

    void onUiThreadRunsAtOnce()
    {
        bool ran = false;
        Synchronize([&] { ran = true; });
        QVERIFY(ran);
    }

    void runsInsideNestedEventLoop()
    {
        // A modal dialog or a reply wait runs its own loop; calls still arrive.
        std::atomic<int> runs{0};
        QEventLoop loop;
        std::thread worker([&] {
            Synchronize([&] { ++runs; });
            Synchronize([&] {
                ++runs;
                loop.quit();
            });
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
        QCOMPARE(runs.load(), 2);
    }

    void guardedHandsErrorsToTheErrorBox()
    {
        QStringList shown;
        SetExceptionHandler([&](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                shown << x.what();
            }
        });
        Guarded([] { throw std::runtime_error("Port failed"); });
        Guarded([] { throw EAbort(); }); // the silent abort shows nothing
        Guarded([] {});
        SetExceptionHandler(nullptr);
        QCOMPARE(shown, QStringList({"Port failed"}));
    }
};

QTEST_GUILESS_MAIN(TstSynchronize)
#include "tst_synchronize.moc"
