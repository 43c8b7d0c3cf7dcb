<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en_US">
<context>
    <name>AboutDialog</name>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報 Tapewell</source>
        <translation>ﾊﾞｰｼﾞｮﾝ情報 Tapewell</translation>
    </message>
    <message>
        <source>Tapewell Version 1.0.4</source>
        <translation>Tapewell Version 1.0.4</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>OptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>Silence rule</source>
        <translation>無音の判定</translation>
    </message>
    <message>
        <source>&amp;Stillness (the main window&apos;s sliders)</source>
        <translation>静止 (メイン画面のスライダー)(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Level below</source>
        <translation>レベルがこれ未満(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Automatic (from the noise floor)</source>
        <translation>自動 (ノイズフロアから)(&amp;A)</translation>
    </message>
    <message>
        <source>Lead-&amp;in:</source>
        <translation>リードイン(&amp;I):</translation>
    </message>
    <message>
        <source>&amp;Minimum track length:</source>
        <translation>最短のトラック長(&amp;M):</translation>
    </message>
    <message>
        <source>Stop aft&amp;er a silence of</source>
        <translation>無音が続いたら停止(&amp;E)</translation>
    </message>
    <message>
        <source>Leave out silence before the first and after the last sound (&amp;trim)</source>
        <translation>最初の音の前と最後の音の後の無音を残さない(トリム)(&amp;T)</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>入力</translation>
    </message>
    <message>
        <source> (default)</source>
        <translation> (既定)</translation>
    </message>
    <message>
        <source>The default input</source>
        <translation>既定の入力</translation>
    </message>
    <message>
        <source>CLIP</source>
        <translation>クリップ</translation>
    </message>
    <message>
        <source>Lit since a sample reached full scale; click to put it out</source>
        <translation>フルスケールに達したサンプルがあると点灯します。クリックで消灯</translation>
    </message>
    <message>
        <source>&amp;Keep a CUE sheet and a label file beside the tracks</source>
        <translation>トラックの横にCUEシートとラベルファイルを残す(&amp;K)</translation>
    </message>
    <message>
        <source>Read-only while recording.</source>
        <translation>録音中は変更できません。</translation>
    </message>
    <message>
        <source>Settings apply from the next Record.</source>
        <translation>設定は次の録音から有効になります。</translation>
    </message>
    <message>
        <source>No sound from the input yet</source>
        <translation>入力からまだ音が届いていません</translation>
    </message>
    <message>
        <source>Noise floor %1 dBFS: the automatic threshold would be %2 dBFS</source>
        <translation>ノイズフロア %1 dBFS: 自動のしきい値は %2 dBFS になります</translation>
    </message>
</context>
<context>
    <name>RecorderDialog</name>
    <message>
        <source>サウンドレコーダー for AudioPCI with MPEG input</source>
        <translation>サウンドレコーダー for AudioPCI with MPEG input</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>MPEG入力をスルー(モニタ）する(&amp;T)</source>
        <translation>MPEG入力をスルー(モニタ）する(&amp;T)</translation>
    </message>
    <message>
        <source>MPEGを録音ソースにする(&amp;I)</source>
        <translation>MPEGを録音ソースにする(&amp;I)</translation>
    </message>
    <message>
        <source>録音(&amp;R)</source>
        <translation>録音(&amp;R)</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>停止(&amp;S)</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>再生(&amp;P)</translation>
    </message>
    <message>
        <source>32kHz(&amp;3)</source>
        <translation>32kHz(&amp;3)</translation>
    </message>
    <message>
        <source>44.1kHz(&amp;4)</source>
        <translation>44.1kHz(&amp;4)</translation>
    </message>
    <message>
        <source>48kHz(&amp;8)</source>
        <translation>48kHz(&amp;8)</translation>
    </message>
    <message>
        <source>自動トラックナンバリングを有効にする(&amp;A)</source>
        <translation>自動トラックナンバリングを有効にする(&amp;A)</translation>
    </message>
    <message>
        <source>参照(&amp;D)...</source>
        <translation>参照(&amp;D)...</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>トラックマーク(&amp;M)</source>
        <translation>トラックマーク(&amp;M)</translation>
    </message>
    <message>
        <source>0.1秒</source>
        <translation>0.1秒</translation>
    </message>
    <message>
        <source>10秒</source>
        <translation>10秒</translation>
    </message>
    <message>
        <source>ファイルの属性</source>
        <translation>ファイルの属性</translation>
    </message>
    <message>
        <source>無音検出の長さ</source>
        <translation>無音検出の長さ</translation>
    </message>
    <message>
        <source>自動トラックナンバリング</source>
        <translation>自動トラックナンバリング</translation>
    </message>
    <message>
        <source>無音検出のレベル</source>
        <translation>無音検出のレベル</translation>
    </message>
    <message>
        <source>最小レベル
(デジタル音源専用)</source>
        <translation>最小レベル
(デジタル音源専用)</translation>
    </message>
    <message>
        <source>最大レベル
(ほとんど使うことなし)</source>
        <translation>最大レベル
(ほとんど使うことなし)</translation>
    </message>
    <message>
        <source>STOPタイマー</source>
        <translation>STOPタイマー</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>&amp;About Tapewell…</source>
        <translation>バージョン情報(Tapewell) (&amp;A)...</translation>
    </message>
    <message>
        <source>failed to allocate memory.</source>
        <translation>バッファの確保に失敗しました。</translation>
    </message>
    <message>
        <source>failed to open file!</source>
        <translation>ファイルをオープンできませんでした。</translation>
    </message>
    <message>
        <source>failed to write file.</source>
        <translation>ファイルの書き込みに失敗しました。</translation>
    </message>
    <message>
        <source>failed to record sound.</source>
        <translation>何らかの理由で録音に失敗しました。</translation>
    </message>
    <message>
        <source>REC - </source>
        <translation>録音中 - </translation>
    </message>
    <message>
        <source>Silent</source>
        <translation>無音</translation>
    </message>
    <message>
        <source>choose destination folder.</source>
        <translation>サウンドを録音するフォルダを選択してください。</translation>
    </message>
    <message>
        <source> - %1 frame dropped</source>
        <translation> - 取りこぼしたフレーム: %1</translation>
    </message>
    <message>
        <source> - %1 frames dropped</source>
        <translation> - 取りこぼしたフレーム: %1</translation>
    </message>
    <message>
        <source>Windows gives programs no access to I/O port %1:
the MPEG input can be set only from Linux (tapewell-card)</source>
        <translation>Windows ではプログラムから I/O ポート %1 に
アクセスできません。MPEG 入力は Linux から
(tapewell-card で) 設定してください</translation>
    </message>
    <message>
        <source>%1 - track %2 - %3 frames dropped</source>
        <translation>%1 - トラック %2 - 欠落 %3 フレーム</translation>
    </message>
    <message>
        <source>Recorded %1 - tracks: %2 - frames dropped: %3</source>
        <translation>録音 %1 - トラック数: %2 - 取りこぼしたフレーム: %3</translation>
    </message>
    <message>
        <source>Silence length: %1 s</source>
        <translation>無音検出の長さ: %1 秒</translation>
    </message>
    <message>
        <source>Silence level: threshold %1 (2^%2), %3 dBFS</source>
        <translation>無音検出のレベル: しきい値 %1 (2^%2)、%3 dBFS</translation>
    </message>
    <message>
        <source>&amp;Options…</source>
        <translation>オプション(&amp;O)...</translation>
    </message>
    <message>
        <source>level %1 dBFS (silence below %2)</source>
        <translation>レベル %1 dBFS (無音は %2 未満)</translation>
    </message>
</context>
</TS>
