"""Screenshot-like test images rendered with ImageMagick, with their true text.

Each scene is a desktop window: a title bar, a sidebar of labels, a heading,
paragraph lines and a button, drawn in a chosen theme and scale.
"""
import subprocess

LATIN = "DejaVu-Sans"
CJK = "Noto-Sans-CJK-SC"

SIDEBAR = ["Inbox", "Drafts", "Sent items", "Archive", "Settings", "Help and feedback"]
PARAGRAPH = [
    "Release 4.2 brings faster exports and a cleaner settings page.",
    "Scrolling captures now keep the header fixed while the page moves.",
    "Shortcuts can be changed in Preferences under Keyboard.",
    "The recorder shows clicks and keys on screen when you ask it to.",
    "Images larger than 8000 pixels are saved as PNG by default.",
    "Report problems with the version number from the About window.",
]
PARAGRAPH_ZH = [
    "新版本支持滚动截图和屏幕录制。",
    "按下快捷键 Ctrl+Shift+A 开始截图。",
    "识别结果可以复制到剪贴板。",
    "Export 设置在偏好设置窗口中。",
    "长截图会自动拼接成一张图片。",
    "录制时显示鼠标点击和按键。",
]


def scene(name, scale=1.0, dark=False, text_px=14, chinese=False, dark_sidebar=False):
    """Returns (name, ImageMagick arguments, true lines, languages)."""
    s = lambda v: int(round(v * scale))
    px = text_px * scale
    width, height = s(1100), s(520)
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

    rect(0, 0, 1100, 34, panel)
    text(420, 23, "Release notes - Quorvane Editor", px, fg)
    rect(0, 35, 230, 520, side_bg)
    for i, label in enumerate(SIDEBAR):
        text(24, 80 + i * 36, label, px, side_fg)
    paragraph = PARAGRAPH_ZH if chinese else PARAGRAPH
    font = CJK if chinese else LATIN
    text(260, 84, "中文与英文混排" if chinese else "What is new in this version", px * 1.5, fg, font)
    for i, line in enumerate(paragraph):
        text(260, 130 + i * 30, line, px, muted if i % 2 else fg, font)
    rect(260, 330, 400, 366, "#3b82f6")
    text(282, 354, "Save changes", px, "#ffffff")
    text(430, 354, "Cancel", px, fg)
    text(260, 420, "Last saved 12 minutes ago by Alex Chen", px * 0.9, muted)
    langs = "eng,chi_sim" if chinese else "eng"
    return name, args, lines, langs


SCENES = [
    scene("light"),
    scene("dark", dark=True),
    scene("hidpi", scale=2.0),
    scene("small", text_px=11),
    scene("mixed-chinese", chinese=True),
    scene("mixed-polarity", dark_sidebar=True),
]


def render(args, path):
    subprocess.run(["convert", *args, path], check=True)
