#pragma once

// What every fuzz target shares: the input as text or bytes, a scratch folder
// of its own for the targets that need files, and the check that stops a run
// when a promise of the code is broken. Used only by the targets in this
// folder; nothing in the program links it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::fuzz {

// The input as text (any bytes) and as bytes.
inline std::string_view AsText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
inline std::span<const uint8_t> AsBytes(const uint8_t* data, size_t size) {
    return {data, size};
}

// A folder of this process alone under the temporary folder, made on first
// use and removed when the process ends.
const std::filesystem::path& ScratchDir();

// Replaces path with exactly these bytes.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// Stops the process with what was expected, so the fuzzer keeps the input.
[[noreturn]] void Fail(std::string_view what, std::string_view detail = {});
inline void Check(bool condition, std::string_view what, std::string_view detail = {}) {
    if (!condition) Fail(what, detail);
}

// Takes the first byte of the input as a small choice (0 when empty) and
// leaves the rest.
inline uint8_t TakeByte(const uint8_t*& data, size_t& size) {
    if (size == 0) return 0;
    const uint8_t byte = *data;
    ++data;
    --size;
    return byte;
}

// Cuts the text at the first occurrence of separator: the part before it is
// returned, text keeps the part after it (or becomes empty).
inline std::string_view TakeField(std::string_view& text, char separator = '\n') {
    const size_t at = text.find(separator);
    const std::string_view field = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
    return field;
}

}  // namespace vellrun::fuzz
