<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>DeskPage</name>
    <message>
        <source>Display Properties</source>
        <translation>画面のプロパティ</translation>
    </message>
    <message>
        <source>Screen Saver</source>
        <translation>スクリーン セーバー</translation>
    </message>
    <message>
        <source>(None)</source>
        <translation>(なし)</translation>
    </message>
    <message>
        <source>Se&amp;ttings...</source>
        <translation>設定(&amp;T)...</translation>
    </message>
    <message>
        <source>Pre&amp;view</source>
        <translation>プレビュー(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Wait:</source>
        <translation>待ち時間(&amp;W):</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>分</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1</source>
        <translation>設定を保存できません: %1</translation>
    </message>
    <message>
        <source>The screen saver %1 cannot be started.</source>
        <translation>スクリーン セーバー %1 を起動できません。</translation>
    </message>
    <message>
        <source>It is not on one of the machine&apos;s own drives.</source>
        <translation>このマシンのドライブにありません。</translation>
    </message>
</context>
</TS>
