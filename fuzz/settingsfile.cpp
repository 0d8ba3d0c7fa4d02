// The settings-file reader and validator: any bytes as a file, and any
// block as the converter may hold it, saved and read back.
//
// The whole input is the file. Its first 128 bytes (zeros where it is
// shorter) are also a converter's block, saved as a backup would be.

#include "fuzzcommon.h"

#include "config/settingsfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <array>

namespace lk58::fuzz {

namespace {

void CheckRead(const QByteArray& bytes)
{
    const config::ReadResult r = config::ReadSettingsFile(bytes);
    // Either a file or the reasons why not, never both or neither.
    FUZZ_CHECK(r.file.has_value() == r.problems.empty());
    for (const config::Problem& p : r.problems)
        FUZZ_CHECK(!p.Message().empty());
    if (!r.file)
        return;
    // What was accepted is written and read back as it was.
    const config::ReadResult again = config::ReadSettingsFile(config::WriteSettingsFile(*r.file));
    FUZZ_CHECK(again.file && again.problems.empty());
    FUZZ_CHECK(again.file->settings == r.file->settings);
    FUZZ_CHECK(again.file->block == r.file->block);
    FUZZ_CHECK(again.file->program == r.file->program);
}

// Whatever a converter holds, the backup saved from it reads back, with
// every setting the form could write back and the whole block on record.
void CheckBackup(std::span<const std::uint8_t> data)
{
    std::array<std::uint8_t, kSettingsBlockSize> bytes{};
    const auto n = std::min(data.size(), bytes.size());
    std::copy_n(data.begin(), n, bytes.begin());
    const SettingsBlock block(bytes);
    const QDateTime saved(QDate(2026, 12, 7), QTime(22, 40), QTimeZone(3600));
    const config::SettingsFile file = config::FileFromBlock(block, saved, "LK58 0.2.1.7");
    const QByteArray text = config::WriteSettingsFile(file);
    const config::ReadResult r = config::ReadSettingsFile(text);
    if (!r.file) {
        std::fprintf(stderr, "%s\n", text.constData());
        for (const config::Problem& p : r.problems)
            std::fprintf(stderr, "%s\n", p.Message().c_str());
    }
    FUZZ_CHECK(r.file && r.problems.empty());
    FUZZ_CHECK(r.file->settings == config::FromBlock(block));
    FUZZ_CHECK(r.file->block == block);
}

} // namespace

void FuzzOne(std::span<const std::uint8_t> data)
{
    const TExactCopy copy(data);
    CheckRead(QByteArray::fromRawData(reinterpret_cast<const char*>(copy.Span().data()),
                                      static_cast<qsizetype>(copy.Span().size())));
    CheckBackup(data);
}

} // namespace lk58::fuzz
