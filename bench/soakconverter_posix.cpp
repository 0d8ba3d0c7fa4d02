#include "soakconverter.h"

#include <cstdio>

#include <unistd.h>

using namespace lk58;

struct TSoakConverter::TImpl {
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim{pty.master.Get()};
};

TSoakConverter::TSoakConverter() : impl_(std::make_unique<TImpl>())
{
    impl_->sim.Start();
}

TSoakConverter::~TSoakConverter()
{
    impl_->sim.Stop();
}

Tq36Simulator& TSoakConverter::Sim()
{
    return impl_->sim;
}

std::string TSoakConverter::PortName() const
{
    return impl_->pty.slavePath;
}

long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
