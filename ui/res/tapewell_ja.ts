<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en_US">
<context>
    <name>StringTable</name>
    <message>
        <source>about(Tapewell) (&amp;A)...</source>
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
</context>
<context>
    <name>CRecorderDlg</name>
    <message numerus="yes">
        <source>%n frame(s) dropped</source>
        <translation>
            <numerusform>取りこぼしたフレーム: %n</numerusform>
        </translation>
    </message>
</context>
</TS>
