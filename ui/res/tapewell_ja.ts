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
</context>
</TS>
