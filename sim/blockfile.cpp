#include "sim/blockfile.h"

#include "sim/protocol.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lk58 {

namespace {
void PutText(Tq36Block& block, int first, int count, const char* text)
{
    const std::size_t len = std::strlen(text);
    const auto words = TextWords({reinterpret_cast<const std::uint8_t*>(text), len},
                                 static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        sim::PutWord(block, first + k, words[static_cast<std::size_t>(k)]);
}

char Printable(std::uint8_t byte)
{
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

struct ParsedLine {
    std::string numberText;    // as written, for the error message
    std::optional<int> number; // none: too large for an int either way
    unsigned word = 0;
};

// "NN XXXX" and anything after a blank. The number is read without a
// limit on its digits, so that one out of any range is reported as such.
std::optional<ParsedLine> ParseLine(const std::string& line)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    const std::size_t start = i;
    if (i < line.size() && (line[i] == '+' || line[i] == '-'))
        ++i;
    const std::size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == digits || i == line.size() || !IsBlank(line[i]))
        return std::nullopt;
    ParsedLine p;
    p.numberText = line.substr(start, i - start);
    int number = 0;
    const char* first = line.data() + (line[start] == '+' ? start + 1 : start);
    if (std::from_chars(first, line.data() + i, number).ec == std::errc())
        p.number = number;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    const std::size_t hex = i;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i - hex != 4 || (i < line.size() && !IsBlank(line[i])))
        return std::nullopt;
    std::from_chars(line.data() + hex, line.data() + i, p.word, 16);
    return p;
}
} // namespace

Tq36Block DefaultBlock()
{
    Tq36Block b{};
    sim::PutWord(b, 1, 2);   // input thermocouple K
    sim::PutWord(b, 2, 0);   // output not limited
    sim::PutWord(b, 3, 1);   // incorrect input: pulsation
    sim::PutWord(b, 4, 1);   // cold end compensation on
    sim::PutWord(b, 5, 3);   // output 4-20 mA
    sim::PutWord(b, 20, 0);  // range 0..400 degrees C
    sim::PutWord(b, 21, 400);
    PutText(b, 22, 4, "TQ36");
    PutText(b, 26, 4, "36012345");
    PutText(b, 30, 5, "Boiler 2");
    PutText(b, 35, 4, "140326");
    PutText(b, 39, 8, "Jan Nov\xE1k"); // Windows-1250 a-acute
    sim::PutWord(b, 61, 1);   // 2 or 4 wire
    sim::PutWord(b, 62, 250); // set temperature 25.0
    sim::PutWord(b, 63, 0);   // wiring resistance 12.34 ohm, 32 bits
    sim::PutWord(b, 64, 1234);
    return b;
}

std::string FormatBlock(const Tq36Block& block)
{
    std::string out = "# TQ36 settings block: parameter, word (hex), its two bytes\n";
    char line[32];
    for (int n = 1; n <= 64; ++n) {
        const std::uint16_t w = sim::GetWord(block, n);
        std::snprintf(line, sizeof line, "%02d %04X  |%c%c|\n", n, unsigned(w),
                      Printable(std::uint8_t(w >> 8)), Printable(std::uint8_t(w)));
        out += line;
    }
    return out;
}

std::optional<Tq36Block> ParseBlock(const std::string& text, std::string& error)
{
    Tq36Block block{};
    bool seen[65] = {};
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    int count = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#')
            continue;
        const std::optional<ParsedLine> parsed = ParseLine(line);
        if (!parsed) {
            error = "line " + std::to_string(lineNo) + ": expected a parameter number and a 4-digit hex word";
            return std::nullopt;
        }
        const std::string where = "line " + std::to_string(lineNo) + ": parameter "
            + (parsed->number ? std::to_string(*parsed->number) : parsed->numberText);
        const int number = parsed->number.value_or(0);
        if (number < 1 || number > 64) {
            error = where + " outside 1..64";
            return std::nullopt;
        }
        if (seen[number]) {
            error = where + " given twice";
            return std::nullopt;
        }
        seen[number] = true;
        ++count;
        sim::PutWord(block, number, static_cast<std::uint16_t>(parsed->word));
    }
    if (count != 64) {
        for (int n = 1; n <= 64; ++n)
            if (!seen[n]) {
                error = "parameter " + std::to_string(n) + " missing";
                break;
            }
        return std::nullopt;
    }
    return block;
}

bool LoadBlockFile(const std::string& path, Tq36Block& block, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    const auto parsed = ParseBlock(text.str(), why);
    if (!parsed) {
        error = path + ": " + why;
        return false;
    }
    block = *parsed;
    return true;
}

bool SaveBlockFile(const std::string& path, const Tq36Block& block, std::string& error)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << FormatBlock(block);
        out.close();
        if (!out) {
            error = temp + ": " + std::strerror(errno);
            std::remove(temp.c_str());
            return false;
        }
    }
    // Replaces the old file on every system (the C library's rename on
    // Windows refuses a target that exists).
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = path + ": " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace lk58
