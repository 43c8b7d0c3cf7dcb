#include "cli/input_check.h"

#include "cli/cli_text.h"

namespace {

// `text` as one word for the system's shell (a POSIX shell, or Windows' cmd).
std::string ShellWord(const std::string& text) {
#ifdef _WIN32
  const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:+,=@\\";
#else
  const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:+,=@";
#endif
  if (!text.empty() && text.find_first_not_of(plain) == std::string::npos) return text;
#ifdef _WIN32
  return "\"" + text + "\"";  // a Windows path holds no double quote
#else
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

// The converted file's name: the input's, without its extension, and `ending`.
std::string ConvertedName(const std::string& path, const char* ending) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? path.substr(0, dot) : path) + ending;
}

// True when the input's samples are in an encoding a recording keeps,
// whatever its channels.
bool KeptEncoding(const ReplayLayout& layout) {
  for (const char* kept : {"8-bit PCM", "16-bit PCM", "24-bit PCM", "32-bit PCM", "32-bit float"}) {
    if (layout.encoding == kept) return true;
  }
  return false;
}

// Whether sox reads `encoding` wherever it runs: PCM, floats, the two laws
// and ADPCM. Compressed formats (MP3, Vorbis, Opus...) need handlers that
// Debian's sox leaves out (it has none for MP3).
bool SoxReads(const std::string& encoding) {
  for (const char* known : {"PCM", "float", "law", "ADPCM"}) {
    if (encoding.find(known) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::string ConversionCommand(const std::string& path, const ReplayLayout& layout) {
  const bool standardInput = path == ReplayInput::kStandardInput;
  if (!SoxReads(layout.encoding)) {
    const std::string firstTwo = layout.channels > 2 ? " -af " + ShellWord("pan=stereo|c0=c0|c1=c1") : "";
    if (standardInput) return "ffmpeg -i - -c:a pcm_s16le" + firstTwo + " -f wav -";
    return "ffmpeg -i " + ShellWord(path) + " -c:a pcm_s16le" + firstTwo + " " + ShellWord(ConvertedName(path, "-16bit.wav"));
  }
  const std::string remix = layout.channels > 2 ? " remix 1 2" : "";
  if (KeptEncoding(layout)) {
    // Only the channels go: sox keeps the samples' bits and encoding.
    if (standardInput) return "sox -t wav - -t wav -" + remix;
    return "sox " + ShellWord(path) + " " + ShellWord(ConvertedName(path, "-stereo.wav")) + remix;
  }
  if (standardInput) return "sox -t wav - -b 16 -e signed-integer -t wav -" + remix;
  return "sox " + ShellWord(path) + " -b 16 -e signed-integer " + ShellWord(ConvertedName(path, "-16bit.wav")) + remix;
}

std::string InputLayoutProblem(const std::string& path, const ReplayLayout& layout, Language language) {
  if (layout.keptBits == 0 || layout.channels < 1 || layout.channels > 2) {
    std::string what;
    // The encoding is named when it is not one that is kept.
    if (!KeptEncoding(layout) || layout.channels < 1) what = layout.encoding;
    if (layout.channels > 2) {
      if (!what.empty()) what += ", ";
      what += CliText(CliTextId::kRecInputChannels, language, {std::to_string(layout.channels)});
    }
    return CliText(CliTextId::kRecInputLayout, language, {path, what, ConversionCommand(path, layout)});
  }
  if (layout.frames == 0) return CliText(CliTextId::kRecInputNoFrames, language, {path});
  return "";
}

std::string InputShortNote(const std::string& path, const ReplayLayout& layout, Language language) {
  if (layout.frames < 0 || layout.statedFrames <= layout.frames) return "";
  return CliText(CliTextId::kRecInputShorterThanHeader, language,
                 {path, std::to_string(layout.frames), std::to_string(layout.statedFrames)});
}
