// Builds WAV files byte by byte, so tests can make any chunk arrangement.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wavbytes {

inline void PutLe32(std::vector<uint8_t>& b, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
}

inline void AppendLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void AppendLe16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

/// A chunk: four-character id, 32-bit size, body (no pad byte).
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> c(id, id + 4);
  AppendLe32(c, static_cast<uint32_t>(body.size()));
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

/// A "fmt " chunk of `size` bytes (16 or more) with the given fields.
inline std::vector<uint8_t> Fmt(uint32_t rate, uint16_t bits, uint16_t channels, uint32_t size = 16,
                                uint16_t tag = 1) {
  std::vector<uint8_t> body;
  AppendLe16(body, tag);
  AppendLe16(body, channels);
  AppendLe32(body, rate);
  const uint32_t align = bits * channels / 8;
  AppendLe32(body, rate * align);
  AppendLe16(body, static_cast<uint16_t>(align));
  AppendLe16(body, bits);
  body.resize(size, 0);
  return Chunk("fmt ", body);
}

/// "RIFF" size "WAVE" followed by the chunks.
inline std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const auto& c : chunks) b.insert(b.end(), c.begin(), c.end());
  PutLe32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

}  // namespace wavbytes
