; Latin: Grüße, café, naïve, Ærø, señor
; Latin Extended: Łódź, Čeština, Dziękuję, Ŵŷ, ǅemal
; Cyrillic: Привет, мир! Съешь же ещё этих булок
; Greek: Καλημέρα κόσμε, ψυχή
Debug "Tiếng Việt: Chương trình quản lý"
; CJK: 你好世界，打印源代码。日本語のテキスト
; Hangul: 안녕하세요 세계
; Symbols: → ← ∑ ∞ ≠ ≤ ✓ € £ ©
; Arabic: مرحبا بالعالم
; Hebrew: שלום עולם
; Thai: สวัสดีชาวโลก
