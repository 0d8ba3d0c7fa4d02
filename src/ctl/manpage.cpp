// Writes the manual page tq36ctl.1, made from the program's own table of
// commands and options: tq36ctl-man OUTPUT

#include "ctl/cmdtable.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tq36ctl-man OUTPUT\n");
        return 2;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    const QByteArray page = lk58::ctl::ManPage(LK58_VERSION).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(page) != page.size() || !out.commit()) {
        std::fprintf(stderr, "tq36ctl-man: %s: %s\n", argv[1], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
