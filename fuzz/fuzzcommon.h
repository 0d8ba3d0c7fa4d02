#pragma once

// What the fuzz targets share. A target defines FuzzOne(); libFuzzer or the
// seed replay hands it each input in a heap block of exactly the input's
// size, so that AddressSanitizer sees a read one byte past the end.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace lk58::fuzz {

// The target's body: takes one input apart and checks what must hold for it.
void FuzzOne(std::span<const std::uint8_t> data);

// Stops the run with the broken rule; libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* rule, const char* file, int line);

// Reads an input front to back. Past the end, a byte reads as 0 and a
// piece is empty, so every input, however short, is a complete case.
class TInput {
public:
    explicit TInput(std::span<const std::uint8_t> data) : data_(data) {}
    bool Empty() const { return data_.empty(); }
    std::size_t Left() const { return data_.size(); }
    std::uint8_t Byte();
    // Up to `n` bytes (fewer at the end).
    std::span<const std::uint8_t> Take(std::size_t n);
    std::span<const std::uint8_t> Rest() { return Take(data_.size()); }

private:
    std::span<const std::uint8_t> data_;
};

// A piece of the input in a heap block of its own exact size: a parser that
// reads past the piece it was given then touches no valid memory.
class TExactCopy {
public:
    explicit TExactCopy(std::span<const std::uint8_t> bytes);
    std::span<const std::uint8_t> Span() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_;
};

} // namespace lk58::fuzz

#define FUZZ_CHECK(rule) ((rule) ? void(0) : ::lk58::fuzz::Fail(#rule, __FILE__, __LINE__))
