<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>AboutDialog</name>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報 Tapewell</source>
        <translation>About Tapewell</translation>
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
        <translation>Options</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Silence rule</source>
        <translation>Silence rule</translation>
    </message>
    <message>
        <source>&amp;Stillness (the main window&apos;s sliders)</source>
        <translation>&amp;Stillness (the main window&apos;s sliders)</translation>
    </message>
    <message>
        <source>&amp;Level below</source>
        <translation>&amp;Level below</translation>
    </message>
    <message>
        <source>&amp;Automatic (from the noise floor)</source>
        <translation>&amp;Automatic (from the noise floor)</translation>
    </message>
    <message>
        <source>Lead-&amp;in:</source>
        <translation>Lead-&amp;in:</translation>
    </message>
    <message>
        <source>&amp;Minimum track length:</source>
        <translation>&amp;Minimum track length:</translation>
    </message>
    <message>
        <source>Stop aft&amp;er a silence of</source>
        <translation>Stop aft&amp;er a silence of</translation>
    </message>
    <message>
        <source>Leave out silence before the first and after the last sound (&amp;trim)</source>
        <translation>Leave out silence before the first and after the last sound (&amp;trim)</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Input</translation>
    </message>
    <message>
        <source> (default)</source>
        <translation> (default)</translation>
    </message>
    <message>
        <source>The default input</source>
        <translation>The default input</translation>
    </message>
    <message>
        <source>CLIP</source>
        <translation>CLIP</translation>
    </message>
    <message>
        <source>Lit since a sample reached full scale; click to put it out</source>
        <translation>Lit since a sample reached full scale; click to put it out</translation>
    </message>
    <message>
        <source>&amp;Keep a CUE sheet and a label file beside the tracks</source>
        <translation>&amp;Keep a CUE sheet and a label file beside the tracks</translation>
    </message>
    <message>
        <source>Read-only while recording.</source>
        <translation>Read-only while recording.</translation>
    </message>
    <message>
        <source>Settings apply from the next Record.</source>
        <translation>Settings apply from the next Record.</translation>
    </message>
    <message>
        <source>No sound from the input yet</source>
        <translation>No sound from the input yet</translation>
    </message>
    <message>
        <source>Noise floor %1 dBFS: the automatic threshold would be %2 dBFS</source>
        <translation>Noise floor %1 dBFS: the automatic threshold would be %2 dBFS</translation>
    </message>
</context>
<context>
    <name>RecorderDialog</name>
    <message>
        <source>サウンドレコーダー for AudioPCI with MPEG input</source>
        <translation>Sound Recorder for AudioPCI with MPEG input</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>MPEG入力をスルー(モニタ）する(&amp;T)</source>
        <translation>Pass MPEG input &amp;through (monitor)</translation>
    </message>
    <message>
        <source>MPEGを録音ソースにする(&amp;I)</source>
        <translation>Record from MPEG &amp;input</translation>
    </message>
    <message>
        <source>録音(&amp;R)</source>
        <translation>&amp;Record</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>32kHz(&amp;3)</source>
        <translation>&amp;32 kHz</translation>
    </message>
    <message>
        <source>44.1kHz(&amp;4)</source>
        <translation>&amp;44.1 kHz</translation>
    </message>
    <message>
        <source>48kHz(&amp;8)</source>
        <translation>4&amp;8 kHz</translation>
    </message>
    <message>
        <source>自動トラックナンバリングを有効にする(&amp;A)</source>
        <translation>Enable &amp;automatic track numbering</translation>
    </message>
    <message>
        <source>参照(&amp;D)...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
    <message>
        <source>トラックマーク(&amp;M)</source>
        <translation>Track &amp;mark</translation>
    </message>
    <message>
        <source>0.1秒</source>
        <translation>0.1 s</translation>
    </message>
    <message>
        <source>10秒</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>ファイルの属性</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>無音検出の長さ</source>
        <translation>Silence length</translation>
    </message>
    <message>
        <source>自動トラックナンバリング</source>
        <translation>Automatic track numbering</translation>
    </message>
    <message>
        <source>無音検出のレベル</source>
        <translation>Silence level</translation>
    </message>
    <message>
        <source>最小レベル
(デジタル音源専用)</source>
        <translation>Minimum level
(digital sources only)</translation>
    </message>
    <message>
        <source>最大レベル
(ほとんど使うことなし)</source>
        <translation>Maximum level
(hardly ever needed)</translation>
    </message>
    <message>
        <source>STOPタイマー</source>
        <translation>Stop timer</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>&amp;About Tapewell…</source>
        <translation>&amp;About Tapewell…</translation>
    </message>
    <message>
        <source>failed to allocate memory.</source>
        <translation>failed to allocate memory.</translation>
    </message>
    <message>
        <source>failed to open file!</source>
        <translation>failed to open file!</translation>
    </message>
    <message>
        <source>failed to write file.</source>
        <translation>failed to write file.</translation>
    </message>
    <message>
        <source>failed to record sound.</source>
        <translation>failed to record sound.</translation>
    </message>
    <message>
        <source>REC - </source>
        <translation>REC - </translation>
    </message>
    <message>
        <source>Silent</source>
        <translation>Silent</translation>
    </message>
    <message>
        <source>choose destination folder.</source>
        <translation>choose destination folder.</translation>
    </message>
    <message>
        <source> - %1 frame dropped</source>
        <translation> - %1 frame dropped</translation>
    </message>
    <message>
        <source> - %1 frames dropped</source>
        <translation> - %1 frames dropped</translation>
    </message>
    <message>
        <source>Windows gives programs no access to I/O port %1:
the MPEG input can be set only from Linux (tapewell-card)</source>
        <translation>Windows gives programs no access to I/O port %1:
the MPEG input can be set only from Linux (tapewell-card)</translation>
    </message>
    <message>
        <source>%1 - track %2 - %3 frames dropped</source>
        <translation>%1 - track %2 - %3 frames dropped</translation>
    </message>
    <message>
        <source>Recorded %1 - tracks: %2 - frames dropped: %3</source>
        <translation>Recorded %1 - tracks: %2 - frames dropped: %3</translation>
    </message>
    <message>
        <source>Silence length: %1 s</source>
        <translation>Silence length: %1 s</translation>
    </message>
    <message>
        <source>Silence level: threshold %1 (2^%2), %3 dBFS</source>
        <translation>Silence level: threshold %1 (2^%2), %3 dBFS</translation>
    </message>
    <message>
        <source>&amp;Options…</source>
        <translation>&amp;Options…</translation>
    </message>
    <message>
        <source>level %1 dBFS (silence below %2)</source>
        <translation>level %1 dBFS (silence below %2)</translation>
    </message>
</context>
</TS>
