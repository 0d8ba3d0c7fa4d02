// The device link's exchanges through the Win32 serial port, under Wine,
// against tq36-sim keeping the pace of a 4800-baud line (with-sim.sh runs
// it on a Wine COM port): wall time per exchange against the line's floor,
// and the CPU time of this process (the user-interface and event threads,
// and the threads Wine waits for the line on).
//
// Beside LK58, the same traffic from the smallest program of Win32 calls
// with the same wait: WaitCommEvent for received data, then a ReadFile of
// what is waiting, with the next WaitCommEvent made at once, as the port's
// event thread does; and, as the line's best, one blocking ReadFile of the
// reply's length. The three take turns in rounds of ten runs, so that a
// change in the machine's load meets them alike.
//
// Wine meets a received byte at its next poll of the line, about every
// 0.9 ms from when the WaitCommEvent was made. Run back to back, a
// program's exchanges all start the same time after the last one ended,
// so they can meet the polls at much the same place for a whole run: measured
// so, the Win32 program's SendLong took 1.024 to 1.039 times the
// floor from run to run. A technician's exchanges start at any moment, and
// a port's wait is made long before a reply comes, so each exchange here
// starts after an untimed pause of its own, drawn between 0 and 5 ms alike
// for the three (--gap-ms MS sets one pause for all, 0 for back to back).
//
// Usage: LK58_SIM_ARGS= tests/wine/with-sim.sh bench_winlink.exe [runs] [--gap-ms MS] [--only NAME]
//        (100 runs by default; --only ping measures the ping alone)
#include "link/devicelink.h"
#include "serial/comport.h"

#include "linkexchanges.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <windows.h>

using namespace lk58;
using namespace lk58::bench;

namespace {

// CPU time (user + kernel) of this process so far, in ms.
double CpuMs()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return double(ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// The untimed pause before each exchange: finer than Sleep's whole
// milliseconds, and without spinning a core that Wine's threads want.
class TGap {
public:
    explicit TGap(double fixedMs) : fixedMs_(fixedMs)
    {
        if (HMODULE ntdll = ::GetModuleHandleA("ntdll.dll"))
            delay_ = reinterpret_cast<TDelay>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDelayExecution")));
    }
    void operator()()
    {
        const double ms = fixedMs_ >= 0 ? fixedMs_ : std::uniform_real_distribution<double>(0, 5)(random_);
        LARGE_INTEGER relative;
        relative.QuadPart = -static_cast<LONGLONG>(ms * 10000); // 100 ns units, negative for relative
        if (delay_)
            delay_(FALSE, &relative);
        else
            ::Sleep(DWORD(ms + 0.5));
    }

private:
    using TDelay = LONG(WINAPI*)(BOOLEAN, const LARGE_INTEGER*);
    double fixedMs_;
    TDelay delay_ = nullptr;
    std::mt19937 random_{58};
};

enum class TRawWait {
    Events,      // WaitCommEvent(EV_RXCHAR), then ReadFile of what waits, and the next WaitCommEvent
    BlockingRead // one ReadFile of the reply's length, on a handle without overlapped I/O
};

// The converter's line through Win32 calls alone: 4800 baud, 8N1, DTR off,
// RTS on; one attempt per request, with the link's budget for its reply.
class TRawLine {
public:
    TRawLine(const std::string& com, TRawWait wait) : wait_(wait)
    {
        const std::string path = "\\\\.\\" + com;
        handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                wait == TRawWait::Events ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ok_ = handle_ != INVALID_HANDLE_VALUE && ::GetCommState(handle_, &dcb);
        dcb.BaudRate = 4800;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        ok_ = ok_ && ::SetCommState(handle_, &dcb) && ::SetCommMask(handle_, EV_RXCHAR);
        rx_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        io_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (ok_ && wait == TRawWait::Events)
            ok_ = Arm();
    }
    ~TRawLine()
    {
        if (armed_) {
            ::SetCommMask(handle_, EV_RXCHAR); // ends the wait, which writes `events_`
            DWORD unused = 0;
            ::GetOverlappedResult(handle_, &rx_, &unused, TRUE);
        }
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        ::CloseHandle(rx_.hEvent);
        ::CloseHandle(io_.hEvent);
    }
    TRawLine(const TRawLine&) = delete;
    TRawLine& operator=(const TRawLine&) = delete;

    bool Ok() const { return ok_; }

    bool Exchange(const TExchange& e)
    {
        for (const Bytes& request : e.requests) {
            if (e.pause)
                ::Sleep(DWORD(kPauseMs));
            if (!::PurgeComm(handle_, PURGE_RXCLEAR) || !Send(request))
                return false;
            const DWORD budgetMs = DWORD(e.ticks) * 10;
            if (!(wait_ == TRawWait::Events ? AwaitByEvents(e.replyBytes, budgetMs)
                                            : AwaitByRead(e.replyBytes, budgetMs)))
                return false;
        }
        return true;
    }

private:
    // Finishes an overlapped call that may still be under way.
    bool Finish(BOOL started, OVERLAPPED& ov, DWORD& count)
    {
        return started || (::GetLastError() == ERROR_IO_PENDING && ::GetOverlappedResult(handle_, &ov, &count, TRUE));
    }

    bool Send(const Bytes& request)
    {
        DWORD sent = 0;
        if (wait_ == TRawWait::BlockingRead)
            return ::WriteFile(handle_, request.data(), DWORD(request.size()), &sent, nullptr) &&
                   sent == request.size();
        ::ResetEvent(io_.hEvent);
        return Finish(::WriteFile(handle_, request.data(), DWORD(request.size()), &sent, &io_), io_, sent) &&
               sent == request.size();
    }

    // Makes the next WaitCommEvent; it may complete at once.
    bool Arm()
    {
        events_ = 0;
        ::ResetEvent(rx_.hEvent);
        if (::WaitCommEvent(handle_, &events_, &rx_))
            return true;
        armed_ = ::GetLastError() == ERROR_IO_PENDING;
        return armed_;
    }

    bool AwaitByEvents(std::size_t n, DWORD budgetMs)
    {
        const ULONGLONG deadline = ::GetTickCount64() + budgetMs;
        std::size_t got = 0;
        std::uint8_t buffer[256];
        while (got < n) {
            if (armed_) {
                const ULONGLONG now = ::GetTickCount64();
                if (now >= deadline || ::WaitForSingleObject(rx_.hEvent, DWORD(deadline - now)) != WAIT_OBJECT_0)
                    return false;
                DWORD unused = 0;
                armed_ = false;
                if (!::GetOverlappedResult(handle_, &rx_, &unused, TRUE))
                    return false;
            }
            DWORD errors = 0;
            COMSTAT stat{};
            if (!::ClearCommError(handle_, &errors, &stat))
                return false;
            const DWORD want = std::min<DWORD>(stat.cbInQue, DWORD(sizeof buffer));
            DWORD read = 0;
            if (want > 0) {
                ::ResetEvent(io_.hEvent);
                if (!Finish(::ReadFile(handle_, buffer, want, &read, &io_), io_, read))
                    return false;
            }
            got += read;
            if (!Arm())
                return false;
        }
        return true;
    }

    bool AwaitByRead(std::size_t n, DWORD budgetMs)
    {
        COMMTIMEOUTS t{};
        t.ReadTotalTimeoutConstant = budgetMs;
        std::uint8_t buffer[256];
        DWORD read = 0;
        return ::SetCommTimeouts(handle_, &t) && ::ReadFile(handle_, buffer, DWORD(n), &read, nullptr) && read == n;
    }

    TRawWait wait_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    OVERLAPPED rx_{};
    OVERLAPPED io_{};
    DWORD events_ = 0;
    bool armed_ = false; // a WaitCommEvent is pending
    bool ok_ = false;
};

constexpr int kRound = 10;

} // namespace

int main(int argc, char** argv)
{
    int runs = 100;
    double gapMs = -1; // drawn for each exchange
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gap-ms") == 0 && i + 1 < argc)
            gapMs = std::max(0.0, std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::atoi(argv[i]) > 0)
            runs = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_winlink.exe [runs] [--gap-ms MS] [--only NAME]\n");
            return 2;
        }
    }
    std::vector<TExchange> exchanges = Exchanges();
    if (!only.empty())
        std::erase_if(exchanges, [&](const TExchange& e) { return e.name != only; });
    if (exchanges.empty()) {
        std::fprintf(stderr, "no exchange is named %s\n", only.c_str());
        return 2;
    }
    TGap gap(gapMs);
    const char* com = std::getenv("LK58_TEST_COM");
    if (!com) {
        std::fprintf(stderr, "run through tests/wine/with-sim.sh\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    TComPort port;
    TDeviceLink link(port);
    port.SetDeviceName(com);
    port.SetBaudRate(br4800);
    port.FlowControl().SetDTR(dcDisable);
    port.FlowControl().SetRTS(rcEnable);
    port.SetOnError([](TComPort&, const EComError& e, TComAction&) {
        std::fprintf(stderr, "port error %d: %s\n", int(e.ErrorCode()), e.what());
    });
    port.SetActive(true);
    if (!link.Ping()) {
        std::fprintf(stderr, "no converter answers on %s\n", com);
        return 1;
    }
    port.SetActive(false);

    struct TRow {
        TSamples lk58, events, blocking;
    };
    std::vector<TRow> rows(exchanges.size());
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const TExchange& e = exchanges[i];
        for (int done = 0; done < runs; done += kRound) {
            const int n = std::min(kRound, runs - done);
            port.SetActive(true);
            rows[i].lk58.Run(e.name, n, CpuMs, [&] { return e.run(link); }, [&] { gap(); });
            port.SetActive(false);
            for (TRawWait wait : {TRawWait::Events, TRawWait::BlockingRead}) {
                TRawLine line(com, wait);
                if (!line.Ok()) {
                    std::fprintf(stderr, "%s will not open: error %lu\n", com, ::GetLastError());
                    return 1;
                }
                (wait == TRawWait::Events ? rows[i].events : rows[i].blocking)
                    .Run(e.name, n, CpuMs, [&] { return line.Exchange(e); }, [&] { gap(); });
            }
        }
    }

    PrintHeader("LK58's device link");
    for (std::size_t i = 0; i < rows.size(); ++i)
        PrintRow(exchanges[i], rows[i].lk58);
    PrintHeader("\nWin32 calls alone: WaitCommEvent, then ReadFile of what waits");
    for (std::size_t i = 0; i < rows.size(); ++i)
        PrintRow(exchanges[i], rows[i].events);
    PrintHeader("\nWin32 calls alone: one blocking ReadFile of the reply's length");
    for (std::size_t i = 0; i < rows.size(); ++i)
        PrintRow(exchanges[i], rows[i].blocking);
    std::printf("\n%-16s %12s %12s\n", "LK58 against", "WaitCommEvent", "blocking read");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double lk58 = rows[i].lk58.Timing().medianMs;
        std::printf("%-16s %12.3f %12.3f\n", exchanges[i].name, lk58 / rows[i].events.Timing().medianMs,
                    lk58 / rows[i].blocking.Timing().medianMs);
    }
    return 0;
}
