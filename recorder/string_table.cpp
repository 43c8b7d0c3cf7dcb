#include "recorder/string_table.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstdlib>

namespace {

struct Entry {
  int id;
  const char* english;
  const char* japanese;
};

constexpr Entry kTable[] = {
    {IDS_ABOUTBOX, "&About Tapewell…", "バージョン情報(Tapewell) (&A)..."},
    {IDS_ERR_MEMORY, "failed to allocate memory.", "バッファの確保に失敗しました。"},
    {IDS_ERR_OPEN, "failed to open file!", "ファイルをオープンできませんでした。"},
    {IDS_ERR_WRITE, "failed to write file.", "ファイルの書き込みに失敗しました。"},
    {IDS_ERR_RECORD, "failed to record sound.", "何らかの理由で録音に失敗しました。"},
    {IDS_REC_PREFIX, "REC - ", "録音中 - "},
    {IDS_SILENT, "Silent", "無音"},
    {IDS_CHOOSE_FOLDER, "choose destination folder.", "サウンドを録音するフォルダを選択してください。"},
    {IDS_FRAME_DROPPED, " - %1 frame dropped", " - 取りこぼしたフレーム: %1"},
    {IDS_FRAMES_DROPPED, " - %1 frames dropped", " - 取りこぼしたフレーム: %1"},
    {IDS_NO_PORT_ACCESS,
     "Windows gives programs no access to I/O port %1:\nthe MPEG input can be set only from Linux (tapewell-card)",
     "Windows ではプログラムから I/O ポート %1 に\nアクセスできません。MPEG 入力は Linux から\n(tapewell-card で) 設定してください"},
    {IDS_TAKE_STATUS, "%1 - track %2 - %3 frames dropped", "%1 - トラック %2 - 欠落 %3 フレーム"},
    {IDS_TAKE_SUMMARY, "Recorded %1 - tracks: %2 - frames dropped: %3", "録音 %1 - トラック数: %2 - 取りこぼしたフレーム: %3"},
    {IDS_LENGTH_VALUE, "Silence length: %1 s", "無音検出の長さ: %1 秒"},
    {IDS_LEVEL_VALUE, "Silence level: threshold %1 (2^%2), %3 dBFS", "無音検出のレベル: しきい値 %1 (2^%2)、%3 dBFS"},
    {IDS_OPTIONS, "&Options…", "オプション(&O)..."},
    {IDS_LEVEL_NOW, "level %1 dBFS (silence below %2)", "レベル %1 dBFS (無音は %2 未満)"},
};

}  // namespace

std::string LoadTableString(int id, Language language) {
  for (const auto& e : kTable) {
    if (e.id == id) return language == Language::Japanese ? e.japanese : e.english;
  }
  return {};
}

std::string FillTableString(const std::string& text, const std::string& value) {
  return FillTableStrings(text, {value});
}

std::string FillTableStrings(const std::string& text, const std::vector<std::string>& values) {
  std::string filled;
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t which = at + 1 < text.size() ? static_cast<size_t>(text[at + 1] - '1') : values.size();
    if (text[at] == '%' && which < values.size()) {
      filled += values[which];
      ++at;
    } else {
      filled += text[at];
    }
  }
  return filled;
}

std::string DecibelsText(double db) {
  char text[16] = "-inf";
  if (db > -150) std::snprintf(text, sizeof text, "%.1f", db);
  return text;
}

std::string LevelNowText(const std::string& pattern, double levelDb, double thresholdDb) {
  return FillTableStrings(pattern, {DecibelsText(levelDb), DecibelsText(thresholdDb)});
}

std::string DroppedFramesSuffix(uint64_t dropped, const std::function<std::string(int)>& load) {
  return FillTableString(load(dropped == 1 ? IDS_FRAME_DROPPED : IDS_FRAMES_DROPPED), std::to_string(dropped));
}

#ifdef _WIN32
Language SystemLanguage() {
  // The language the user chose for Windows' own texts, as resource loading does.
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese : Language::English;
}
#else
Language SystemLanguage() {
  // LANGUAGE, the list of languages the user prefers, goes first when its
  // first entry is Japanese, as it does for the window (Qt's user-interface languages).
  if (const char* list = std::getenv("LANGUAGE"); list && std::string(list).rfind("ja", 0) == 0) {
    return Language::Japanese;
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      const std::string v = value;
      return v.rfind("ja", 0) == 0 ? Language::Japanese : Language::English;
    }
  }
  return Language::English;
}
#endif
