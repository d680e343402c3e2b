"""Screenshot-like test images rendered with ImageMagick, with their true text.

Each scene is a desktop window: a title bar, a sidebar of labels, a heading,
paragraph lines and a button, drawn in a chosen theme and scale.
"""
import subprocess

LATIN = "DejaVu-Sans"

SIDEBAR = ["Inbox", "Drafts", "Sent items", "Archive", "Settings", "Help and feedback"]
PARAGRAPH = [
    "Release 4.2 brings faster exports and a cleaner settings page.",
    "Scrolling captures now keep the header fixed while the page moves.",
    "Shortcuts can be changed in Preferences under Keyboard.",
    "The recorder shows clicks and keys on screen when you ask it to.",
    "Images larger than 8000 pixels are saved as PNG by default.",
    "Report problems with the version number from the About window.",
]
# UI text per CJK language: (font, heading, paragraph). Shortcuts and English
# words inside the lines are what a user copies most often.
CJK = {
    "chi_sim": ("Noto-Sans-CJK-SC", "中文与英文混排", [
        "新版本支持滚动截图和屏幕录制。",
        "按下快捷键 Ctrl+Shift+A 开始截图。",
        "识别结果可以复制到剪贴板。",
        "Export 设置在偏好设置窗口中。",
        "长截图会自动拼接成一张图片。",
        "录制时显示鼠标点击和按键。",
    ]),
    "chi_tra": ("Noto-Sans-CJK-TC", "中文與英文混排", [
        "新版本支援捲動截圖和螢幕錄製。",
        "按下快速鍵 Ctrl+Shift+A 開始截圖。",
        "辨識結果可以複製到剪貼簿。",
        "Export 設定在偏好設定視窗中。",
        "長截圖會自動拼接成一張圖片。",
        "錄製時顯示滑鼠點擊和按鍵。",
    ]),
    "jpn": ("Noto-Sans-CJK-JP", "日本語と英語の混在", [
        "新しい版はスクロール撮影に対応しました。",
        "Ctrl+Shift+A を押すと撮影を開始します。",
        "認識結果はクリップボードにコピーできます。",
        "Export の設定は環境設定にあります。",
        "長い画像は自動的に一枚につなげます。",
        "録画中はクリックとキーを表示します。",
    ]),
    "kor": ("Noto-Sans-CJK-KR", "한국어와 영어 혼합", [
        "새 버전은 스크롤 캡처를 지원합니다.",
        "Ctrl+Shift+A 를 누르면 캡처를 시작합니다.",
        "인식 결과를 클립보드에 복사할 수 있습니다.",
        "Export 설정은 환경설정 창에 있습니다.",
        "긴 캡처는 자동으로 한 장으로 이어집니다.",
        "녹화 중에는 클릭과 키를 표시합니다.",
    ]),
}
# A second column for the full-screen scenes.
PARAGRAPH_2 = [
    "Projects are stored in the Documents folder unless you pick another.",
    "Turn on automatic updates to receive fixes as soon as they ship.",
    "Recent files appear on the start page, newest first.",
    "Press Escape to leave full screen mode at any time.",
    "Exported videos use H.264 at the frame rate you recorded.",
    "Open the log from Help when you contact support.",
]


def scene(name, scale=1.0, dark=False, text_px=14, cjk=None, cjk_first=False, dark_sidebar=False,
          full_hd=False):
    """Returns (name, ImageMagick arguments, true lines, languages).

    cjk names a CJK language whose paragraph replaces the English one; the
    language list then holds English and it, in the order cjk_first says.
    full_hd draws the window on a 1920x1080 screen with a second column.
    """
    s = lambda v: int(round(v * scale))
    px = text_px * scale
    width, height = (1920, 1080) if full_hd else (s(1100), s(520))
    bg, fg, panel, muted = ("#1e1f22", "#e6e6e6", "#2b2d31", "#a0a4ab") if dark else (
        "#ffffff", "#1a1a1a", "#f0f1f3", "#5f6368")
    side_bg, side_fg = (("#202124", "#e8eaed") if dark_sidebar else (panel, fg))
    args = ["-size", f"{width}x{height}", f"xc:{bg}"]
    lines = []

    def rect(x0, y0, x1, y1, colour):
        args.extend(["-fill", colour, "-draw", f"rectangle {s(x0)},{s(y0)} {s(x1)},{s(y1)}"])

    def text(x, y, words, size, colour, font=LATIN):
        args.extend(["-font", font, "-pointsize", f"{size:.1f}", "-fill", colour,
                     "-annotate", f"+{s(x)}+{s(y)}", words])
        lines.append(words)

    bottom = height / scale
    rect(0, 0, width / scale, 34, panel)
    text(420, 23, "Release notes - Quorvane Editor", px, fg)
    rect(0, 35, 230, bottom, side_bg)
    for i, label in enumerate(SIDEBAR):
        text(24, 80 + i * 36, label, px, side_fg)
    font, heading, paragraph = CJK[cjk] if cjk else (LATIN, "What is new in this version", PARAGRAPH)
    text(260, 84, heading, px * 1.5, fg, font)
    for i, line in enumerate(paragraph):
        text(260, 130 + i * 30, line, px, muted if i % 2 else fg, font)
    rect(260, 330, 400, 366, "#3b82f6")
    text(282, 354, "Save changes", px, "#ffffff")
    text(430, 354, "Cancel", px, fg)
    text(260, 420, "Last saved 12 minutes ago by Alex Chen", px * 0.9, muted)
    if full_hd:
        for i, line in enumerate(PARAGRAPH_2):
            text(1000, 130 + i * 30, line, px, muted if i % 2 else fg)
        for i, label in enumerate(["Name", "Size", "Modified"]):
            text(260 + 300 * i, 520, label, px, muted)
        for row in range(8):
            y = 560 + row * 32
            for i, cell in enumerate([f"capture-{row + 1:02d}.png", f"{(row + 3) * 117} KB", f"Dec {row + 2}, 2026"]):
                text(260 + 300 * i, y, cell, px, fg)
    langs = "eng"
    if cjk:
        langs = f"{cjk},eng" if cjk_first else f"eng,{cjk}"
    return name, args, lines, langs


def two_lines(name, langs):
    """One line of Chinese UI text above one English line, on white."""
    args = ["-size", "520x110", "xc:#ffffff",
            "-font", CJK["chi_sim"][0], "-pointsize", "18", "-fill", "#202020",
            "-annotate", "+20+40", "打开设置窗口并选择语言",
            "-font", LATIN, "-pointsize", "16", "-fill", "#202020",
            "-annotate", "+20+85", "Open the settings window"]
    return name, args, ["打开设置窗口并选择语言", "Open the settings window"], langs


SCENES = [
    scene("light"),
    scene("dark", dark=True),
    scene("hidpi", scale=2.0),
    scene("small", text_px=11),
    scene("mixed-polarity", dark_sidebar=True),
    scene("light-1080p", full_hd=True),
    scene("dark-1080p", dark=True, full_hd=True),
    two_lines("zh-line-eng", "eng,chi_sim"),
    two_lines("zh-line-chi", "chi_sim,eng"),
]
for _code in CJK:
    SCENES.append(scene(f"{_code}-eng", cjk=_code))
    SCENES.append(scene(f"{_code}-first", cjk=_code, cjk_first=True, dark=_code == "chi_sim"))
SCENES.append(scene("chi_sim-dark-eng", cjk="chi_sim", dark=True))


def render(args, path):
    subprocess.run(["convert", *args, path], check=True)
