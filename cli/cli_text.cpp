#include "cli/cli_text.h"

#include <cstddef>
#include <iterator>

namespace {

struct Entry {
  CliTextId id;
  const char* english;
  const char* japanese;
};

using enum CliTextId;

constexpr Entry kTexts[] = {
    {kLabelUsage, "Usage", "使い方"},
    {kLabelOptionsBadge, "OPTIONS", "オプション"},
    {kLabelSubcommand, "SUBCOMMAND", "サブコマンド"},
    {kLabelSubcommands, "SUBCOMMANDS", "サブコマンド"},
    {kLabelPositionals, "Positionals", "引数"},
    {kLabelRequired, "REQUIRED", "必須"},
    {kLabelNeeds, "Needs", "必要"},
    {kLabelExcludes, "Excludes", "併用不可"},
    {kLabelEnv, "Env", "環境変数"},
    {kLabelText, "TEXT", "文字列"},
    {kGroupOptions, "Options", "オプション"},
    {kGroupSubcommands, "Subcommands", "サブコマンド"},
    {kHelpFlag, "Print this help message and exit", "このヘルプを表示して終了します"},
    {kVersionFlag, "Display program version information and exit", "バージョン情報を表示して終了します"},

    {kRecDescription, "Records the audio input (or an audio file) into DDMmmNNN.wav track files.",
     "音声入力（または音声ファイル）を DDMmmNNN.wav のトラックファイルに録音します。"},
    {kRecOptFolder, "destination folder (default: the current directory)",
     "録音先のフォルダ（既定: カレントディレクトリ）"},
    {kRecOptRate, "sample rate in Hz: 32000, 44100 or 48000 (default 44100)",
     "サンプリング周波数 (Hz): 32000、44100、48000 のいずれか（既定 44100）"},
    {kRecOptAutoTrack, "automatic track numbering: split where a long silence ends",
     "トラック番号の自動更新: 長い無音が終わったところでファイルを分けます"},
    {kRecOptLength, "silence length: N tenths of a second, 1..100 (default 1), or seconds such as 1.5s",
     "無音とみなす長さ: 0.1 秒単位で 1..100（既定 1）、または 1.5s のような秒数"},
    {kRecOptLevel, "silence level: threshold 2^P, 0..15 (default 7)", "無音レベル: しきい値 2^P、0..15（既定 7）"},
    {kRecOptInput, "record from an audio file (WAV, RF64, W64, AIFF, FLAC...) instead of the audio input; - reads a WAV "
                   "stream from standard input",
     "音声入力の代わりに音声ファイル（WAV、RF64、W64、AIFF、FLAC など）から録音します。- は標準入力の WAV "
     "ストリームを読みます"},
    {kRecOptFast, "with --input: as fast as it goes, which is now the default (kept for old scripts)",
     "--input と共に: できるだけ速く録音します。今は既定の動作です（以前のスクリプトのために残しています）"},
    {kRecOptRealtime, "with --input: at the input's own pace, as if it were played in, instead of as fast as it goes",
     "--input と共に: できるだけ速くではなく、再生するのと同じ速さで録音します"},
    {kRecFooter,
     "Keys, while recording from the audio input:\n"
     "  Enter or m  start the next track\n"
     "  q           stop (Ctrl-C stops too); what was heard is kept\n"
     "\n"
     "Examples:\n"
     "  tapewell-rec -a -l 20 -w ~/rec\n"
     "  tapewell-rec --input side-a.wav -a -l 15 -w side-a\n"
     "\n"
     "Exit status: 0 done; 1 a failure (the reason is printed); 2 a usage error or an input that cannot be "
     "recorded, nothing made; 3 recorded, but frames were dropped. More in man tapewell-rec.",
     "キー（音声入力から録音している間）:\n"
     "  Enter か m  次のトラックに移ります\n"
     "  q           停止します（Ctrl-C でも停止します）。聞こえた音はすべて残ります\n"
     "\n"
     "例:\n"
     "  tapewell-rec -a -l 20 -w ~/rec\n"
     "  tapewell-rec --input side-a.wav -a -l 15 -w side-a\n"
     "\n"
     "終了ステータス: 0 完了、1 失敗（理由を表示します）、2 使い方の誤りか録音できない入力（何も作りません）、"
     "3 録音したが欠落したフレームがある。詳しくは man tapewell-rec を見てください。"},
    {kRecOptDuration, "stop after SEC seconds of audio", "音声 SEC 秒分で停止します"},
    {kRecOptDevice, "record from this input (a name --list-devices prints)",
     "この入力から録音します（--list-devices が表示する名前）"},
    {kRecOptListDevices, "list the inputs, one a line, and exit", "入力を 1 行に 1 つずつ表示して終了します"},

    {kRecParseError, "%1 (see tapewell-rec --help)",
     "コマンドラインの誤り: %1（使い方は tapewell-rec --help を見てください）"},
    {kRecBadRate, "--rate must be 32000, 44100 or 48000: %1", "--rate は 32000、44100、48000 のいずれかにしてください: %1"},
    {kRecBadLength, "--length must be a whole number of tenths of a second from 1 to 100, or seconds from 0.1s to 10s: %1",
     "--length は 1 から 100 までの整数（0.1 秒単位）か、0.1s から 10s までの秒数にしてください: %1"},
    {kRecBadLevel, "--level must be a whole number from 0 to 15: %1", "--level は 0 から 15 までの整数にしてください: %1"},
    {kRecBadDuration, "--duration must be a number of seconds above 0 and at most 8640000 (100 days): %1",
     "--duration は 0 より大きく 8640000（100 日）以下の秒数にしてください: %1"},
    {kRecInputNeedsPath, "--input needs the path of an audio file, or - for standard input",
     "--input には音声ファイルのパス（標準入力は -）を指定してください"},
    {kRecRateDiffers, "--rate %1 differs from the input file's rate %2",
     "--rate %1 は入力ファイルのサンプリング周波数 %2 と異なります"},

    {kRecInputCannotOpen, "cannot open input file '%1': %2", "入力ファイル '%1' を開けません: %2"},
    {kRecInputNoFrames, "input file '%1' holds no audio frames", "入力ファイル '%1' には音声のフレームがありません"},
    {kRecInputLayout,
     "input file '%1' is %2; tapewell-rec keeps 8-, 16-, 24- or 32-bit PCM or 32-bit float, mono or stereo: "
     "convert it first with %3",
     "入力ファイル '%1' は %2 です。tapewell-rec が扱えるのは 8・16・24・32 ビットの PCM か 32 ビット浮動小数点、"
     "モノラルかステレオです: "
     "先に %3 で変換してください"},
    {kRecInputChannels, "%1 channels", "%1 チャンネル"},
    {kRecInputShorterThanHeader,
     "input file '%1' holds %2 frames, fewer than the %3 its header states (it was cut short): all %2 are recorded",
     "入力ファイル '%1' のフレームは %2 で、ヘッダにある %3 より少なくなっています（途中で切れています）: %2 "
     "フレームをすべて録音します"},
    {kRecInputReadFailed, "cannot read input file '%1': %2", "入力ファイル '%1' を読めません: %2"},
    {kRecInputBadRate, "input file '%1' states a sample rate of %2 Hz; a rate from 1000 to 768000 Hz is needed",
     "入力ファイル '%1' のサンプリング周波数は %2 Hz です。1000 から 768000 Hz までにしてください"},
    {kRecInputCutShort,
     "input file '%1' was cut short while it was replayed: %2 of its %3 frames were read and recorded",
     "入力ファイル '%1' が再生中に短くなりました: %3 フレームのうち %2 フレームを読んで録音しました"},

    {kRecCannotCreate, "cannot create %1: %2", "%1 を作成できません: %2"},
    {kRecCannotWrite, "cannot write %1: %2", "%1 に書き込めません: %2"},
    {kRecOutOfMemory, "out of memory", "メモリが足りません"},
    {kRecTrackFileLost, "cannot write %1: the file was deleted or moved during the recording",
     "%1 に書き込めません: 録音中にファイルが削除または移動されました"},
    {kRecServerSlow, "the sound server does not answer yet; still trying (Ctrl-C gives up)",
     "サウンドサーバーがまだ応答しません。待機中です (Ctrl-C で中止します)"},
    {kRecFolderMade, "made the folder %1 for the tracks", "トラック用にフォルダ %1 を作成しました"},
    {kRecCannotMakeFolder, "cannot make the folder %1: %2 (choose another folder with -w)",
     "フォルダ %1 を作成できません: %2（-w で別のフォルダを指定してください）"},
    {kRecFolderIsFile, "cannot make the folder %2: %1 is a file, not a folder (move it, or choose another folder with -w)",
     "フォルダ %2 を作成できません: %1 はフォルダではなくファイルです（移動するか、-w で別のフォルダを指定してください）"},
    {kRecCannotListInputs, "cannot list the inputs of the %1: %2", "%1 の入力を一覧できません: %2"},
#ifdef _WIN32
    {kRecNoInputs, "the %1 has no input (is a recording device connected and enabled under Sound settings?)",
     "%1 に入力がありません（録音デバイスが接続され、サウンドの設定で有効になっていますか？）"},
#else
    {kRecNoInputs, "the %1 has no input (is a sound server running?)",
     "%1 に入力がありません（サウンドサーバーは動いていますか？）"},
#endif
    {kRecUnknownDevice, "--device: the %1 has no input named '%2' (tapewell-rec --list-devices lists them)",
     "--device: %1 に '%2' という入力はありません（tapewell-rec --list-devices で一覧できます）"},

    {kRecOptProgress, "a plain status line on standard error every few seconds when it is not a terminal",
     "標準エラー出力が端末でないときも、数秒ごとに状況を 1 行で表示します"},
    {kRecOptQuiet, "no progress line", "進行状況を表示しません"},
    {kRecOptCue, "keep a CUE sheet of the tracks in FILE, rewritten at every track change",
     "トラックの CUE シートを FILE に書き、トラックが変わるたびに書き直します"},
    {kRecOptLabels, "keep a label file of the tracks (start and end in seconds) in FILE, rewritten at every track change",
     "トラックのラベルファイル（開始と終了の秒数）を FILE に書き、トラックが変わるたびに書き直します"},
    {kRecOptDryRun, "with --input: write nothing, print the tracks a recording would make and why silences did not split",
     "--input と共に: 何も書かず、録音すると作られるトラックと、無音で分かれなかった理由を表示します"},
    {kRecProgressTrack, "track %1", "トラック %1"},
    {kRecProgressDropped, "dropped %1", "欠落 %1"},
    {kRecLinesDropped, "%1 event lines were dropped: standard output did not take them in time",
     "標準出力が間に合わなかったため、イベント行を %1 行捨てました"},
    {kRecWritingLast, "writing the last %1 s... (press q or Ctrl-C again to give up on them)",
     "最後の %1 秒を書き込んでいます… (もう一度 q か Ctrl-C を押すと諦めます)"},
    {kRecGaveUp, "gave up on the last %1 s (%2 frames): counted as dropped",
     "最後の %1 秒（%2 フレーム）を諦めました: 欠落として数えます"},
    {kRecDiskBehind, "disk %1 s behind", "ディスク %1 秒遅れ"},
    {kTakeWritingLast, "writing the last %1 s... (Stop again gives up on them)",
     "最後の %1 秒を書き込んでいます… (もう一度停止すると諦めます)"},
    {kTakeGaveUp, "gave up on the last %1 s (%2 frames) at a second Stop: counted as dropped",
     "2 度目の停止で最後の %1 秒（%2 フレーム）を諦めました: 欠落として数えます"},
    {kRecDiskCannotKeepUp,
     "the disk cannot keep up: the recording is %1 s behind (up to %2 s are kept in memory, then frames are lost)",
     "ディスクが間に合いません: 録音が %1 秒遅れています（%2 秒まではメモリに保ち、それを超えるとフレームが失われます）"},
    {kRecCannotWriteList, "cannot write the track list %1", "トラック一覧 %1 を書き込めません"},
    {kRecInputChanged, "input changed to %1", "入力が %1 に変わりました"},
    {kRecListRetry, "cannot write the track list %1; it is tried again at the next track change",
     "トラック一覧 %1 を書き込めません。次のトラックの変わり目でもう一度書きます"},
    {kRecDryNeedsInput, "--dry-run needs --input FILE", "--dry-run には --input FILE が必要です"},
    {kRecDryTrack, "track %1  start %2 (frame %3)  length %4 (%5 frames)  started by %6",
     "トラック %1  開始 %2（フレーム %3）  長さ %4（%5 フレーム）  開始の理由: %6"},
    {kRecDryStartRecording, "the start of the recording", "録音の開始"},
    {kRecDryStartSilence, "the first sounding frame after %1 s of silence", "%1 秒の無音の後の最初の音のあるフレーム"},
    {kRecDryStartMark, "a track mark", "トラックマーク"},
    {kRecDryStartLimit, "the length limit of a WAV file", "WAV ファイルの長さの上限"},
    {kRecDryEndsWithInput, "  ends at the input's end", "  入力の終わりで終了"},
    {kRecDryNoAutoTrack, "no silence splits the recording: automatic track numbering (-a) is off",
     "自動トラックナンバリング (-a) がオフのため、無音では分かれません"},
    {kRecDryTooShort, "silence at %1 (frame %2) of %3 s did not split: %4 shorter than the split length %5 s (-l)",
     "%1（フレーム %2）の %3 秒の無音では分かれませんでした: 分割の長さ %5 秒 (-l) より %4 短い"},
    {kRecDryLevelTooLow,
     "quiet passage at %1 (frame %2) of %3 s did not split: it moves by more than the threshold %5 of level %4 (-p); "
     "-p %6 would split it",
     "%1（フレーム %2）の %3 秒の静かな部分では分かれませんでした: レベル %4 (-p) のしきい値 %5 より大きく動いています。"
     "-p %6 なら分かれます"},

    {kRecOptSilenceBelow,
     "level rule for tape, vinyl and radio: silence is a level (RMS over 10 ms) below DB dBFS, or auto to find it "
     "from the noise floor",
     "テープ、レコード、ラジオ向けのレベル規則: 無音はレベル（10 ms ごとの RMS）が DB dBFS 未満のところです。auto "
     "ならノイズフロアから求めます"},
    {kRecOptLeadIn, "start each split track SEC seconds before its sound, 0..10 (default 0)",
     "分割した各トラックを音の SEC 秒前から始めます。0..10（既定 0）"},
    {kRecOptMinTrack, "a silence that would end a track shorter than SEC seconds does not split",
     "トラックが SEC 秒より短くなる無音では分けません"},
    {kRecOptTrim, "leave out the silence before the first sound and after the last (beyond the lead-in)",
     "最初の音の前と最後の音の後（リードインを超える分）の無音を録音しません"},
    {kRecOptStopAfterSilence, "stop once the input has been silent for SEC seconds after a sound (the end of a side)",
     "音の後に入力が SEC 秒無音になったら停止します（片面の終わり）"},
    {kRecBadSilenceBelow, "--silence-below must be a level in dBFS from -120 to 0, or auto: %1",
     "--silence-below は -120 から 0 までの dBFS のレベルか auto にしてください: %1"},
    {kRecBadLeadIn, "--lead-in must be a number of seconds from 0 to 10: %1",
     "--lead-in は 0 から 10 までの秒数にしてください: %1"},
    {kRecBadMinTrack, "--min-track must be a number of seconds from 0 to 3600: %1",
     "--min-track は 0 から 3600 までの秒数にしてください: %1"},
    {kRecBadStopAfterSilence, "--stop-after-silence must be a number of seconds above 0 and at most 3600: %1",
     "--stop-after-silence は 0 より大きく 3600 以下の秒数にしてください: %1"},
    {kRecLevelWithStillness,
     "-p sets the stillness rule's level and --silence-below chooses the level rule: give one of them",
     "-p は静止規則のレベルを、--silence-below はレベル規則を選びます。どちらか一方を指定してください"},
    {kRecTrimmed, "trim: left out %1 s of silence before the first sound and %2 s after the last",
     "トリム: 最初の音の前の無音 %1 秒と最後の音の後の無音 %2 秒を録音しませんでした"},
    {kRecNothingHeard, "nothing but silence was heard, so no track was kept (--trim)",
     "無音しか聞こえなかったため、トラックは残していません (--trim)"},
    {kRecDrySeconds, "%1 s", "%1 秒"},
    {kRecDryOneFrame, "1 frame", "1 フレーム"},
    {kRecDryFrames, "%1 frames", "%1 フレーム"},
    {kRecDryThreshold, "level rule: silence below %1 dBFS", "レベル規則: %1 dBFS 未満を無音とします"},
    {kRecDryThresholdAuto, "level rule: silence below %1 dBFS, found from the noise floor: %2",
     "レベル規則: %1 dBFS 未満を無音とします（ノイズフロア %2 から求めました）"},
    {kRecDryNoFloor, "digital silence", "デジタル無音"},
    {kRecDryInsideMinTrack,
     "silence at %1 (frame %2) of %3 s did not split: the track would be shorter than the minimum %4 s (--min-track)",
     "%1（フレーム %2）の %3 秒の無音では分かれませんでした: トラックが最小の長さ %4 秒 (--min-track) より短くなります"},
    {kRecDryAboveThreshold,
     "quiet passage at %1 (frame %2) of %3 s did not split: its level stays up to %4 dB above the threshold %5 dBFS; "
     "--silence-below %6 would split it",
     "%1（フレーム %2）の %3 秒の静かな部分では分かれませんでした: レベルがしきい値 %5 dBFS より最大 %4 dB 高く"
     "なっています。--silence-below %6 なら分かれます"},

    {kCardDescription,
     "Shows or sets the MPEG input bits of an AudioPCI (ES1370) card's control register, as the window's two check "
     "boxes do.\nExit status: 0 done, 1 the register cannot be reached (the reason is printed), 2 usage error.",
     "AudioPCI (ES1370) カードのコントロールレジスタの MPEG 入力ビットを、ウィンドウの 2 つのチェックボックスと同じように"
     "表示または設定します。\n終了ステータス: 0 完了、1 レジスタに届かない（理由を表示します）、2 使い方の誤り。"},
    {kCardFooter,
     "Examples:\n  tapewell-card status\n  tapewell-card -i E400 source on\n  tapewell-card --sony monitor on\n"
     "'monitor on' takes effect only while the source is on; 'source off' turns both off. Every write also sets the "
     "serial format (I2S, or Sony with --sony) and writes every other bit back as read.",
     "例:\n  tapewell-card status\n  tapewell-card -i E400 source on\n  tapewell-card --sony monitor on\n"
     "'monitor on' はソースがオンの間だけ効きます。'source off' は両方をオフにします。書き込むたびにシリアル形式"
     "（I2S、--sony なら Sony）も設定し、ほかのビットは読んだとおりに書き戻します。"},
    {kCardOptPort, "the register's I/O port in hexadecimal, with or without 0x (default E000)",
     "レジスタの I/O ポート。16 進数で、0x は付けても付けなくてもかまいません（既定 E000）"},
    {kCardOptSony, "write the Sony serial format (bit 15 clear) instead of I2S",
     "I2S の代わりに Sony のシリアル形式（ビット 15 をクリア）を書き込みます"},
    {kCardCmdStatus, "print the port, the register value and the settings", "ポート、レジスタの値と設定を表示します"},
    {kCardCmdSource, "make the MPEG input the recording source (bit 9), or not",
     "MPEG 入力を録音ソースにするかどうかを設定します（ビット 9）"},
    {kCardCmdMonitor, "pass the MPEG input through to the playback path (bit 14; only while it is the source)",
     "MPEG 入力を再生経路に通すかどうかを設定します（ビット 14。録音ソースである間だけ）"},
    {kCardArgState, "on or off", "on または off"},

    {kCardParseError, "%1\nRun with --help for more information.",
     "コマンドラインの誤り: %1\n使い方は tapewell-card --help を見てください。"},
    {kCardBadPort, "-i wants a hexadecimal port from 0 to FFFF, not \"%1\"",
     "-i には 0 から FFFF までの 16 進数のポートを指定してください（\"%1\" は使えません）"},
    {kCardMonitorNote,
     "note: monitor stays off while the MPEG input is not the recording source; run 'tapewell-card source on' first",
     "注意: MPEG 入力が録音ソースでない間、モニターはオフのままです。先に 'tapewell-card source on' を実行してください"},
};

static_assert(std::size(kTexts) == static_cast<size_t>(kCount), "every text has one entry");

// `text` with %1..%9 replaced by args[0..8]; a placeholder without its argument stays.
std::string Fill(const char* text, std::initializer_list<std::string> args) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' && static_cast<size_t>(p[1] - '1') < args.size()) {
      out += *(args.begin() + (p[1] - '1'));
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

std::string CliText(CliTextId id, Language language, std::initializer_list<std::string> args) {
  for (const auto& e : kTexts) {
    if (e.id == id) return Fill(language == Language::Japanese ? e.japanese : e.english, args);
  }
  return {};
}

std::string SplitOptionErrorText(SplitOptionError error, const std::string& typed, Language language) {
  switch (error) {
    case SplitOptionError::None: return "";
    case SplitOptionError::BadLength: return CliText(kRecBadLength, language, {typed});
    case SplitOptionError::BadLevel: return CliText(kRecBadLevel, language, {typed});
    case SplitOptionError::LevelWithStillness: return CliText(kRecLevelWithStillness, language);
    case SplitOptionError::BadSilenceBelow: return CliText(kRecBadSilenceBelow, language, {typed});
    case SplitOptionError::BadLeadIn: return CliText(kRecBadLeadIn, language, {typed});
    case SplitOptionError::BadMinTrack: return CliText(kRecBadMinTrack, language, {typed});
    case SplitOptionError::BadStopAfterSilence: return CliText(kRecBadStopAfterSilence, language, {typed});
  }
  return "";
}
