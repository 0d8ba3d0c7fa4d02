// Writes the seed corpus: lk58_fuzz_seeds <fuzz/corpus>. The seeds are
// checked in; run this again when an input format of a target changes.
// Each seed is one named case: valid frames, every fault the simulated
// converter can commit, and files as a user writes them.

#include "link/frame.h"
#include "settings/parammap.h"
#include "sim/blockfile.h"
#include "sim/protocol.h"

#ifdef LK58_SEEDS_CONFIG
#include "config/settingsfile.h"

#include <QTimeZone>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace lk58;

namespace {

std::filesystem::path root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const auto dir = root / target;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& target, const std::string& name, const std::string& text)
{
    Write(target, name, Bytes(text.begin(), text.end()));
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Reply collection: arm steps and reads.
constexpr std::uint8_t kArmNone = 0xF0, kArmWrite = 0xF1, kArmReadAll = 0xF2, kArmPing = 0xF3;

Bytes Arm(std::uint8_t step, std::uint8_t tag = 0)
{
    return {step, tag};
}

// One read per size in `sizes`, then the rest in one read.
Bytes Reads(const Bytes& bytes, std::initializer_list<std::size_t> sizes = {})
{
    Bytes out;
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
        at += n;
    }
    while (at < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - at, 159);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
        at += n;
    }
    return out;
}

Bytes Corrupt(Bytes reply)
{
    sim::CorruptChecksum(reply);
    return reply;
}

Bytes WrongFirst(Bytes reply, const Bytes& request)
{
    sim::SetWrongFirstByte(reply, request);
    return reply;
}

void ReplySeeds(const Tq36Block& block)
{
    const Bytes ping = ShortReply(kPingCode, {'T', 'Q', '3', '6'});
    const Bytes ack30 = ShortReply(29);
    const Bytes all = ReadAllReply(block);
    Write("reply", "ping", Cat({Arm(kArmPing), Reads(ping)}));
    Write("reply", "ping-split-3-4", Cat({Arm(kArmPing), Reads(ping, {3, 4})}));
    Write("reply", "ping-byte-by-byte", Cat({Arm(kArmPing), Reads(ping, {1, 1, 1, 1, 1, 1, 1})}));
    Write("reply", "ack", Cat({Arm(kArmWrite, 30), Reads(ack30)}));
    Write("reply", "ack-split-6-1", Cat({Arm(kArmWrite, 30), Reads(ack30, {6, 1})}));
    Write("reply", "read-all", Cat({Arm(kArmReadAll), Reads(all)}));
    Write("reply", "read-all-split-65-66", Cat({Arm(kArmReadAll), Reads(all, {65, 66})}));
    Write("reply", "ping-corrupt-checksum", Cat({Arm(kArmPing), Reads(Corrupt(ping))}));
    Write("reply", "ack-corrupt-checksum", Cat({Arm(kArmWrite, 30), Reads(Corrupt(ack30))}));
    Write("reply", "read-all-corrupt-checksum", Cat({Arm(kArmReadAll), Reads(Corrupt(all))}));
    Write("reply", "ping-wrong-first-byte", Cat({Arm(kArmPing), Reads(WrongFirst(ping, PingRequest()))}));
    Write("reply", "ack-wrong-first-byte",
          Cat({Arm(kArmWrite, 30), Reads(WrongFirst(ack30, WriteRequest16(30, 0x4142)))}));
    Write("reply", "read-all-wrong-first-byte", Cat({Arm(kArmReadAll), Reads(WrongFirst(all, ReadAllRequest()))}));
    Write("reply", "ping-extra-byte-same-read", Cat({Arm(kArmPing), Reads(Cat({ping, {0x00}}))}));
    Write("reply", "ping-extra-bytes-next-read", Cat({Arm(kArmPing), Reads(Cat({ping, {0x00, 0x55}}), {7})}));
    Write("reply", "read-all-extra-byte", Cat({Arm(kArmReadAll), Reads(Cat({all, {0x00}}))}));
    Write("reply", "ping-silent-then-retry", Cat({Arm(kArmPing), Arm(kArmPing), Reads(ping)}));
    Write("reply", "ack-late-bytes-then-retry",
          Cat({Arm(kArmWrite, 30), Reads(Bytes(ack30.begin(), ack30.begin() + 3)), Arm(kArmWrite, 30), Reads(ack30)}));
    Write("reply", "ping-split-reply-after-garbage", Cat({Arm(kArmPing), Reads(Cat({{0x12, 0x34}, ping}), {2, 4})}));
    Write("reply", "idle-bytes", Cat({Arm(kArmNone), Reads(ping)}));
    Write("reply", "unknown-mode", Cat({Bytes{0xF4, 0x07, 0x00}, Reads(ping)}));
    Write("reply", "load-then-write", Cat({Arm(kArmPing), Reads(ping), Arm(kArmReadAll), Reads(all, {100}),
                                           Arm(kArmWrite, 63), Reads(ShortReply(62))}));
}

// Simulator request framing: reads with a gap flag.
Bytes Line(const Bytes& bytes, bool gapAfter = false)
{
    Bytes out{static_cast<std::uint8_t>(bytes.size() | (gapAfter ? 0x80 : 0))};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

void RequestSeeds()
{
    const Bytes ping = PingRequest(), all = ReadAllRequest();
    const Bytes name = WriteRequest16(30, 0x4142), res = WriteRequest32(63, 1234);
    Write("simrequest", "ping", Line(ping));
    Write("simrequest", "read-all", Line(all));
    Write("simrequest", "write-16", Line(name));
    Write("simrequest", "write-32", Line(res));
    Write("simrequest", "write-to-parameter-65", Line(WriteRequest16(65, 1)));
    Write("simrequest", "write-to-parameter-0", Line(WriteRequest16(0, 1)));
    Write("simrequest", "bad-checksum", Line(Corrupt(name)));
    Write("simrequest", "partial-dropped-then-ping", Cat({Line(Bytes(name.begin(), name.begin() + 4), true), Line(ping)}));
    Write("simrequest", "three-in-one-read", Line(Cat({ping, name, all})));
    Write("simrequest", "split-across-reads", Cat({Line(Bytes(res.begin(), res.begin() + 2)),
                                                   Line(Bytes(res.begin() + 2, res.end()))}));
    Write("simrequest", "write-then-read-all", Cat({Line(name), Line(res), Line(all)}));
}

Bytes Number(std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    return {std::uint8_t(u >> 24), std::uint8_t(u >> 16), std::uint8_t(u >> 8), std::uint8_t(u)};
}

void BlockSeeds(const Tq36Block& factory)
{
    const Bytes block(factory.begin(), factory.end());
    auto with = [&](auto edit) {
        SettingsBlock b(factory);
        edit(b);
        return Bytes(b.Data().begin(), b.Data().end());
    };
    auto text = [](const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); };
    Write("block", "factory", Cat({block, Number(250), text(" 25,0")}));
    Write("block", "read-all-reply", ReadAllReply(factory));
    Write("block", "negative-numbers", Cat({with([](SettingsBlock& b) {
        StoreValue(b, kRangeBegin, -50);
        StoreValue(b, kRangeEnd, -5);
        StoreValue(b, kSetTemp, -999);
        StoreValue(b, kResComp, -9999);
    }), Number(-5), text("-00,5")}));
    Write("block", "numbers-too-wide", Cat({with([](SettingsBlock& b) {
        StoreValue(b, kRangeBegin, 10000);
        StoreValue(b, kResComp, 100000);
    }), Number(INT32_MIN), text("99999999999")}));
    Write("block", "date-with-dots", with([](SettingsBlock& b) {
        const char d[] = "24.12.99";
        StoreText(b, kDate, {reinterpret_cast<const std::uint8_t*>(d), 8});
    }));
    Write("block", "date-corrupt", with([](SettingsBlock& b) {
        const char d[] = "3x0299";
        StoreText(b, kDate, {reinterpret_cast<const std::uint8_t*>(d), 6});
    }));
    Write("block", "texts-without-characters", with([](SettingsBlock& b) {
        const std::uint8_t name[] = {0x81, 'a', 0x98, 0x8A, 0xE8};
        StoreText(b, kName, name);
    }));
    Write("block", "choices-out-of-range", with([](SettingsBlock& b) {
        StoreValue(b, kInputType, 0xFF);
        StoreValue(b, kOutputType, 0);
        StoreValue(b, kWiring, 7);
    }));
    Write("block", "all-ff", Cat({Bytes(128, 0xFF), Number(-1), text("\xC5\xA1\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")}));
}

void BlockFileSeeds(const Tq36Block& factory)
{
    const std::string file = FormatBlock(factory);
    WriteText("blockfile", "factory", file);
    std::string crlf;
    for (char c : file)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteText("blockfile", "crlf-and-comments", "# saved by hand\n\n" + crlf + "   \n# end\n");
    WriteText("blockfile", "parameter-missing", file.substr(0, file.rfind("64 ")));
    WriteText("blockfile", "parameter-twice", file + "07 0001\n");
    WriteText("blockfile", "parameter-65", file + "65 0001\n");
    WriteText("blockfile", "short-hex-word", file.substr(0, file.find("01 ")) + "01 2\n" + file.substr(file.find("02 ")));
    // 2^32 + 1 once wrapped round to parameter 1.
    WriteText("blockfile", "number-wraps-to-parameter-1", "4294967297" + file.substr(file.find("01 ") + 2));
}

#ifdef LK58_SEEDS_CONFIG
void SettingsFileSeeds(const Tq36Block& factory)
{
    const QDateTime saved(QDate(2026, 12, 7), QTime(22, 40), QTimeZone(3600));
    const QByteArray file = config::WriteSettingsFile(config::FileFromBlock(SettingsBlock(factory), saved, "LK58 0.2.1.7"));
    WriteText("settingsfile", "saved-factory-converter", file.toStdString());
    auto settings = [](const std::string& body, const std::string& head = R"("format": "tq36-settings", "version": 1)") {
        return "{\n  " + head + ",\n  \"settings\": {\n    " + body + "\n  }\n}\n";
    };
    WriteText("settingsfile", "template-output-and-range",
              settings(R"("output": "4-20mA",
    "range_begin": -50,
    "range_end": 450)"));
    WriteText("settingsfile", "every-key", settings(R"("type": "TQ36", "serial": "36012345", "label": "Kotel \u0081",
    "calibration_date": "1997-01-01", "calibrated_by": "Jan Novák", "input": "PT100",
    "cold_end_compensation": false, "set_temperature": -99.9, "wiring_resistance": 999.99,
    "output": "0-10V", "range_begin": -999, "range_end": 9999, "output_limit": true,
    "input_error": "2mA", "wiring": "2/4-wire")"));
    WriteText("settingsfile", "range-out-of-order", settings(R"("range_begin": 400, "range_end": 400)"));
    WriteText("settingsfile", "values-the-form-refuses",
              settings(R"("label": "Příliš dlouhý text", "calibrated_by": "日本", "set_temperature": 25.05,
    "calibration_date": "2097-01-01", "input": "X", "serial": "")"));
    WriteText("settingsfile", "unknown-key-newer-version",
              settings(R"("colour": "red")", R"("format": "tq36-settings", "version": 2, "extra": null)"));
    WriteText("settingsfile", "another-format", settings("", R"("format": "something-else", "version": 1)"));
    WriteText("settingsfile", "not-json", "{\n  \"format\": \"tq36-settings\",\n  \"version\": 1,\n  \"settings\": {\n");
    WriteText("settingsfile", "short-block",
              "{\"format\": \"tq36-settings\", \"version\": 1, \"settings\": {}, \"block\": \"0002 0001\","
              " \"saved\": \"yesterday\", \"program\": 7}");
    // Keys Qt would silently keep the last of, and decimals past a field's.
    WriteText("settingsfile", "key-given-twice-far-decimals",
              "{\n  \"format\": \"tq36-settings\", \"version\": 1,\n  \"settings\": {\"output\": \"4-20mA\", "
              "\"range_end\": 450.0000001,\n    \"outp\\u0075t\": \"0-10V\", \"set_temperature\": 2.55e1},\n"
              "  \"settings\": {\"label\": \"B\"}\n}\n");
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lk58_fuzz_seeds <corpus directory>\n");
        return 2;
    }
    root = argv[1];
    const Tq36Block factory = DefaultBlock();
    ReplySeeds(factory);
    RequestSeeds();
    BlockSeeds(factory);
    BlockFileSeeds(factory);
#ifdef LK58_SEEDS_CONFIG
    SettingsFileSeeds(factory);
#endif
    return 0;
}
