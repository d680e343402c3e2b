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


# Chinese UI screenshots at 1280x800 (Simplified, Noto CJK), as a user's
# settings window, file list, chat and toolbar look; and plain Latin UI at
# 1080p with a menu bar, a sidebar and a table.
ZH_FONT = CJK["chi_sim"][0]
ZH_SIDEBAR = ["常规设置", "快捷键", "截图", "屏幕录制", "文字识别", "关于"]
ZH_SETTINGS = [
    "截图保存位置：~/图片/截图",
    "默认格式（PNG 或 JPEG）",
    "启动时自动检查更新",
    "使用 Ctrl+Alt+A 快速截图",
    "录屏帧率：30 帧/秒",
    "识别语言：简体中文、英文",
    "复制识别结果到剪贴板",
    "鼠标指针显示在截图中",
]
ZH_FILES = [
    ("项目计划书.docx", "1.2 MB", "2024年3月10日"),
    ("会议记录（第三季度）.txt", "18 KB", "2024年2月28日"),
    ("产品截图 01.png", "856 KB", "2024年1月15日"),
    ("预算表 2024.xlsx", "64 KB", "2023年12月31日"),
    ("用户反馈汇总.pdf", "2.4 MB", "2023年11月20日"),
    ("安装说明 README.md", "6 KB", "2023年10月8日"),
]
ZH_CHAT = [
    "张伟：今天下午三点开会吗？",
    "李娜：好的，我会准时参加。",
    "王芳：请把 Q3 报告发给我，谢谢！",
    "张伟：已经上传到共享文件夹了。",
    "陈杰：新版本的下载地址在哪里？",
    "李娜：在官网的下载页面，点击 Download 即可。",
    "王芳：截图工具很好用，录屏也很流畅。",
]
ZH_TOOLBAR = ["新建", "打开", "保存", "导出 PDF", "分享", "设置"]


def zh_ui(name, kind="settings", text_px=14, dark=False, scale=1.0):
    s = lambda v: int(round(v * scale))
    px = text_px * scale
    width, height = s(1280), s(800)
    bg, fg, panel, muted = ("#1e1f22", "#e6e6e6", "#2b2d31", "#a0a4ab") if dark else (
        "#ffffff", "#1a1a1a", "#f0f1f3", "#5f6368")
    args = ["-size", f"{width}x{height}", f"xc:{bg}"]
    lines = []

    def rect(x0, y0, x1, y1, colour):
        args.extend(["-fill", colour, "-draw", f"rectangle {s(x0)},{s(y0)} {s(x1)},{s(y1)}"])

    def text(x, y, words, size=None, colour=None):
        args.extend(["-font", ZH_FONT, "-pointsize", f"{(size or px):.1f}", "-fill", colour or fg,
                     "-annotate", f"+{s(x)}+{s(y)}", words])
        lines.append(words)

    rect(0, 0, 1280, 34, panel)
    text(520, 23, "Quorvane 截图 - 偏好设置")
    rect(0, 35, 220, 800, panel)
    for i, label in enumerate(ZH_SIDEBAR):
        text(24, 80 + i * 40, label)
    step = text_px * 2.2
    if kind == "settings":
        text(260, 84, "偏好设置", px * 1.5)
        for i, line in enumerate(ZH_SETTINGS):
            text(260, 130 + i * step, line, colour=muted if i % 2 else fg)
        rect(260, 620, 360, 656, "#3b82f6")
        text(290, 644, "确定", colour="#ffffff")
        text(390, 644, "取消")
    elif kind == "files":
        for i, label in enumerate(["名称", "大小", "修改日期"]):
            text(260 + 420 * i if i < 2 else 900, 84, label, colour=muted)
        for row, cells in enumerate(ZH_FILES):
            for i, cell in enumerate(cells):
                text(260 + 420 * i if i < 2 else 900, 130 + row * step * 1.3, cell)
    elif kind == "chat":
        for i, line in enumerate(ZH_CHAT):
            x = 260 if i % 2 == 0 else 520
            rect(x - 10, 100 + i * step * 2 - text_px * 1.4, x + 600, 100 + i * step * 2 + text_px * 0.6,
                 "#2f3136" if dark else "#e8f0fe")
            text(x, 100 + i * step * 2, line)
    elif kind == "toolbar":
        colours = ["#2563eb", "#16a34a", "#dc2626", "#7c3aed", "#0891b2", "#475569"]
        x = 260
        for label, colour in zip(ZH_TOOLBAR, colours):
            w = 40 + text_px * 1.1 * len(label)
            rect(x, 60, x + w, 96, colour)
            text(x + 16, 84, label, colour="#ffffff")
            x += w + 16
        for i, line in enumerate(ZH_SETTINGS[:6]):
            text(260, 150 + i * step, line)
    return name, args, lines, "eng,chi_sim"


LATIN_MENU = ["File", "Edit", "View", "Tools", "Window", "Help"]
LATIN_SIDE = ["Dashboard", "Customers", "Orders", "Reports", "Invoices", "Settings"]
LATIN_ROWS = [
    ("Noah Williams", "10 March 2024", "Delivered", "$1,240.00"),
    ("Sofia Rossi", "28 February 2024", "Pending", "$86.50"),
    ("Liam Johnson", "3 January 2024", "Cancelled", "$412.99"),
    ("Emma Brown", "17 December 2023", "Delivered", "$2,005.10"),
    ("Mateo Garcia", "5 November 2023", "Refunded", "$59.00"),
    ("Olivia Martin", "21 October 2023", "Shipped", "$730.25"),
    ("Lucas Schmidt", "9 September 2023", "Delivered", "$18.75"),
]


def latin_ui(name, dark=False, text_px=14, font=LATIN):
    width, height = 1920, 1080
    bg, fg, panel, muted = ("#1e1f22", "#e6e6e6", "#2b2d31", "#a0a4ab") if dark else (
        "#ffffff", "#1a1a1a", "#f0f1f3", "#5f6368")
    args = ["-size", f"{width}x{height}", f"xc:{bg}"]
    lines = []

    def rect(x0, y0, x1, y1, colour):
        args.extend(["-fill", colour, "-draw", f"rectangle {x0},{y0} {x1},{y1}"])

    def text(x, y, words, size=text_px, colour=fg):
        args.extend(["-font", font, "-pointsize", f"{size:.1f}", "-fill", colour, "-annotate", f"+{x}+{y}", words])
        lines.append(words)

    rect(0, 0, width, 28, panel)
    for i, item in enumerate(LATIN_MENU):
        text(16 + 72 * i, 19, item, text_px - 1)
    rect(0, 29, 240, height, panel)
    for i, label in enumerate(LATIN_SIDE):
        text(24, 80 + 38 * i, label)
    text(280, 84, "Orders overview", text_px * 1.5)
    text(280, 120, "Encryption: enabled", text_px, muted)
    text(560, 120, "Last sync: 2 minutes ago", text_px, muted)
    columns = [280, 560, 840, 1080]
    for i, label in enumerate(["Name", "Date", "Status", "Amount"]):
        text(columns[i], 180, label, text_px - 1, muted)
    for row, cells in enumerate(LATIN_ROWS):
        y = 220 + 36 * row
        rect(270, y - 24, 1300, y - 24, "#d0d4da" if not dark else "#3a3d42")
        for i, cell in enumerate(cells):
            text(columns[i], y, cell, text_px)
    text(280, 520, "Showing 7 of 128 orders", text_px - 1, muted)
    return name, args, lines, "eng"


ZH_SCENES = [
    zh_ui("zh-12-light", text_px=12), zh_ui("zh-12-dark", text_px=12, dark=True),
    zh_ui("zh-14-light", text_px=14), zh_ui("zh-14-dark", text_px=14, dark=True),
    zh_ui("zh-16-light", text_px=16), zh_ui("zh-16-dark", text_px=16, dark=True),
    zh_ui("zh-14-hidpi", text_px=14, scale=2.0),
    zh_ui("zh-files", kind="files"), zh_ui("zh-chat-dark", kind="chat", dark=True),
    zh_ui("zh-toolbar", kind="toolbar"),
]
# Noto Sans (the Latin of Noto Sans CJK) at 13 px is where sparse layout drops the most thin glyphs.
SCENES += [latin_ui("latin-ui-light"), latin_ui("latin-ui-dark", dark=True), latin_ui("latin-ui-13", text_px=13),
           latin_ui("latin-ui-noto", text_px=13, font=ZH_FONT),
           latin_ui("latin-ui-noto-dark", text_px=13, font=ZH_FONT, dark=True)]
SCENES += ZH_SCENES
