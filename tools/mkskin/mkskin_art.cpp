// mkskin-art: draws the artwork of the default skin for every image its layout declares, at the
// rectangle the layout gives, and writes NAME.bmp files that mkskin packs into the ".lay".
//
//   mkskin-art LAYOUT.xml IMAGE_FOLDER [--logo dab_logo.jpg] [--icon koru-dmb.png]
//              [--hicolor FOLDER --icon-name NAME]
//
// Each page of the layout (MAIN, CL, CS, MB) is first drawn as one surface; the frame pieces are
// cut from it, and every button state is its piece of the surface with the button drawn on top,
// so that the pieces join without seams. --logo also draws the data-service logo (320 x 240),
// --icon the program's icon (64 x 64); --hicolor the same icon in the sizes of the desktop's icon
// theme, as FOLDER/<n>x<n>/apps/NAME.png.
#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "art_style.h"
#include "player/skin/skin_layout.h"

namespace {

using namespace koru::skinart;

struct Element {
    std::string page;
    std::string type;
    QRect rect;  // absolute within its page
};

using Elements = std::map<std::string, Element>;

QRect ReadRect(const pugi::xml_node& node, QPoint origin) {
    return QRect(origin.x() + node.attribute("x").as_int(),
                 origin.y() + node.attribute("y").as_int(), node.attribute("width").as_int(),
                 node.attribute("height").as_int());
}

Elements ReadElements(const pugi::xml_document& document) {
    Elements elements;
    for (pugi::xml_node page : document.document_element().children("page")) {
        const std::string page_id = page.attribute("id").value();
        for (pugi::xml_node panel : page.children("panel")) {
            const QRect panel_rect = ReadRect(panel, QPoint(0, 0));
            elements[panel.attribute("id").value()] = {page_id, "panel", panel_rect};
            for (pugi::xml_node layer : panel.children("layer")) {
                const QRect layer_rect = ReadRect(layer, panel_rect.topLeft());
                elements[layer.attribute("id").value()] = {page_id, "layer", layer_rect};
                for (pugi::xml_node oblet : layer.children("oblet")) {
                    elements[oblet.attribute("id").value()] = {
                        page_id, oblet.attribute("type").value(),
                        ReadRect(oblet, layer_rect.topLeft())};
                }
            }
        }
    }
    return elements;
}

// ---- Surfaces -------------------------------------------------------------------------------

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// A window body: rounded, graphite, lit from above.
void DrawBody(QPainter& p, const QRectF& rect, qreal radius) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(kEdge, 1));
    p.setBrush(
        Vertical(rect.top(), rect.bottom(), QColor(0x2A, 0x2E, 0x35), QColor(0x18, 0x1A, 0x1E)));
    p.drawPath(outline);
    // A fine highlight along the top edge.
    QPainterPath highlight;
    highlight.addRoundedRect(rect.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(highlight);
}

void DrawInset(QPainter& p, const QRectF& rect, qreal radius) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2C, 0x31, 0x3A), 1));
    p.setBrush(
        Vertical(rect.top(), rect.bottom(), QColor(0x0A, 0x0C, 0x0F), QColor(0x11, 0x14, 0x19)));
    p.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

QImage MainSurface(const Elements& e) {
    const QRect window = e.at("P_Main").rect;
    QImage surface = NewSurface(window.width(), window.height());
    QPainter p(&surface);
    DrawBody(p, window, 14);
    // The top bar, a shade lighter, with a hairline below it.
    const QRect top = e.at("L_Top").rect;
    QPainterPath bar;
    bar.addRoundedRect(QRectF(top).adjusted(1, 1, -1, 6), 13, 13);
    p.setClipRect(QRect(top.left(), top.top(), top.width(), top.height() - 1));
    p.setPen(Qt::NoPen);
    p.setBrush(
        Vertical(top.top(), top.bottom(), QColor(0x31, 0x36, 0x3E), QColor(0x24, 0x27, 0x2D)));
    p.drawPath(bar);
    p.setClipping(false);
    // The picture area: black, in a thin bezel.
    const QRect screen = e.at("RG_Screen").rect;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0x33, 0x38, 0x41), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(screen.adjusted(-2, -1, 1, 1));
    p.setPen(QPen(QColor(0x07, 0x08, 0x0A), 1));
    p.drawRect(screen.adjusted(-1, 0, 0, 0));
    p.fillRect(screen, Qt::black);
    // The display panel for the message lines and the antenna, and the progress track.
    const QRect msg1 = e.at("RG_MSG_1").rect;
    const QRect antenna = e.at("RG_ANTENNA").rect;
    DrawInset(p,
              QRectF(msg1.left() - 12, msg1.top() - 4, antenna.right() + 9 - (msg1.left() - 12),
                     antenna.bottom() + 5 - (msg1.top() - 4)),
              7);
    const QRect progress = e.at("RG_PlayProgress").rect;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0E, 0x10, 0x14));
    p.drawRoundedRect(QRectF(progress.left(), progress.center().y() - 2, progress.width(), 5), 2.5,
                      2.5);
    p.end();
    return surface;
}

QImage PanelSurface(const QRect& page, const QRect& header, const QRect& list) {
    QImage surface = NewSurface(page.width(), page.height());
    QPainter p(&surface);
    DrawBody(p, page, 12);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(header).adjusted(1, 1, -1, 6), 11, 11);
    p.setClipRect(header.adjusted(0, 0, 0, -1));
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(header.top(), header.bottom(), QColor(0x31, 0x36, 0x3E),
                        QColor(0x22, 0x25, 0x2B)));
    p.drawPath(bar);
    p.setClipping(false);
    if (!list.isEmpty()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(0x30, 0x35, 0x3E), 1));
        p.setBrush(QColor(0x11, 0x13, 0x17));
        p.drawRect(list.adjusted(-1, -1, 0, 0));
    }
    p.end();
    return surface;
}

QImage MessageSurface(const QRect& box) {
    QImage surface = NewSurface(box.width(), box.height());
    QPainter p(&surface);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x0A, 0x0B, 0x0D), 1));
    p.setBrush(Vertical(0, box.height(), QColor(0x26, 0x2A, 0x31), QColor(0x16, 0x18, 0x1C)));
    p.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
    p.setPen(QPen(QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 150), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(box).adjusted(2.5, 2.5, -2.5, -2.5), 14, 14);
    // An accent stroke along the top, like a status light.
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(box.width() / 2.0 - 28, 8, 56, 3), 1.5, 1.5);
    p.end();
    return surface;
}

// ---- Pieces ---------------------------------------------------------------------------------

QImage Crop(const QImage& surface, const QRect& rect) {
    return surface.copy(rect).convertToFormat(QImage::Format_RGB32);
}

enum class ButtonStyle { kTransport, kPrimary, kBar, kTab, kWide, kPlain, kLogo, kTitle };

void DrawButtonBase(QPainter& p, ButtonStyle style, int state, const QRectF& r) {
    p.setRenderHint(QPainter::Antialiasing);
    switch (style) {
        case ButtonStyle::kPrimary: {
            QColor top = kAccentBright, bottom = kAccent;
            if (state == kNormal) top = QColor(0x3A, 0xD8, 0xBB), bottom = QColor(0x17, 0xA8, 0x8F);
            if (state == kPressed)
                top = QColor(0x11, 0x85, 0x71), bottom = QColor(0x0E, 0x6F, 0x5E);
            if (state == kDisabled)
                top = QColor(0x3A, 0x3F, 0x47), bottom = QColor(0x2C, 0x30, 0x36);
            p.setPen(QPen(QColor(0, 0, 0, 120), 1));
            p.setBrush(Vertical(r.top(), r.bottom(), top, bottom));
            p.drawEllipse(r.adjusted(1, 1, -1, -1));
            if (state == kHover) {
                p.setPen(QPen(QColor(255, 255, 255, 90), 1));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(r.adjusted(2, 2, -2, -2));
            }
            break;
        }
        case ButtonStyle::kTransport:
        case ButtonStyle::kTab:
        case ButtonStyle::kWide: {
            QColor top(0x32, 0x36, 0x3E), bottom(0x25, 0x28, 0x2E), border(0x3C, 0x41, 0x4B);
            if (state == kHover)
                top = QColor(0x3B, 0x40, 0x4A), bottom = QColor(0x2D, 0x31, 0x38),
                border = QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 170);
            if (state == kPressed)
                top = QColor(0x15, 0x18, 0x1C), bottom = QColor(0x1B, 0x1E, 0x23), border = kAccent;
            if (state == kDisabled)
                top = QColor(0x25, 0x28, 0x2D), bottom = QColor(0x21, 0x23, 0x28),
                border = QColor(0x2D, 0x31, 0x38);
            if (style == ButtonStyle::kTab && state == kPressed) {
                top = QColor(0x28, 0xCF, 0xB0), bottom = QColor(0x17, 0xA8, 0x8F),
                border = kAccentDark;
            }
            p.setPen(QPen(border, 1));
            p.setBrush(Vertical(r.top(), r.bottom(), top, bottom));
            const qreal radius = style == ButtonStyle::kTransport ? 8 : 6;
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
            break;
        }
        case ButtonStyle::kBar:
        case ButtonStyle::kPlain:
            if (state == kHover || state == kPressed) {
                p.setPen(Qt::NoPen);
                p.setBrush(state == kHover ? QColor(0x3A, 0x40, 0x4A) : QColor(0x17, 0x1A, 0x1F));
                p.drawRoundedRect(r.adjusted(1, 0, -1, 0), 6, 6);
            }
            break;
        case ButtonStyle::kLogo:
        case ButtonStyle::kTitle:
            break;
    }
}

QColor IconColour(ButtonStyle style, int state) {
    if (state == kDisabled) return kIconDisabled;
    if (style == ButtonStyle::kPrimary) return QColor(0x07, 0x1C, 0x18);
    if (style == ButtonStyle::kTab && state == kPressed) return QColor(0x06, 0x1A, 0x16);
    if (state == kPressed) return kAccentBright;
    if (state == kHover) return Qt::white;
    return style == ButtonStyle::kBar ? kIconDim : kIcon;
}

struct ButtonArt {
    ButtonStyle style;
    std::optional<Icon> icon;
    const char* label = nullptr;
};

const std::map<std::string, ButtonArt>& Buttons() {
    static const std::map<std::string, ButtonArt> buttons = {
        {"BT_Play", {ButtonStyle::kPrimary, Icon::kPlay}},
        {"BT_Pause", {ButtonStyle::kPrimary, Icon::kPause}},
        {"BT_Stop", {ButtonStyle::kTransport, Icon::kStop}},
        {"BT_Up", {ButtonStyle::kTransport, Icon::kUp}},
        {"BT_Down", {ButtonStyle::kTransport, Icon::kDown}},
        {"BT_Record", {ButtonStyle::kTransport, Icon::kRecord}},
        {"BT_Capture", {ButtonStyle::kTransport, Icon::kCapture}},
        {"BT_Speaker", {ButtonStyle::kTransport, Icon::kSpeaker}},
        {"BT_Mute", {ButtonStyle::kTransport, Icon::kMute}},
        {"BT_Open", {ButtonStyle::kBar, Icon::kOpen}},
        {"BT_Search", {ButtonStyle::kBar, Icon::kList}},
        {"BT_Min", {ButtonStyle::kBar, Icon::kMinimise}},
        {"BT_Max", {ButtonStyle::kBar, Icon::kFullScreen}},
        {"BT_Turnoff", {ButtonStyle::kBar, Icon::kPower}},
        {"BT_Grip", {ButtonStyle::kLogo, Icon::kGrip}},
        {"BT_Logo", {ButtonStyle::kLogo, std::nullopt, "KORU-DMB"}},
        {"BT_CL_Close", {ButtonStyle::kPlain, Icon::kClose}},
        {"BT_CL_TV", {ButtonStyle::kTab, Icon::kTv, "TV"}},
        {"BT_CL_Radio", {ButtonStyle::kTab, Icon::kRadio, "Radio"}},
        {"BT_CL_Data", {ButtonStyle::kTab, Icon::kData, "Data"}},
        {"BT_CL_Search", {ButtonStyle::kWide, Icon::kSearch, "SEARCH"}},
        {"BT_CS_Cancel", {ButtonStyle::kWide, Icon::kCancel, "CANCEL"}},
        {"BT_CL_TVTitle", {ButtonStyle::kTitle, Icon::kTv, "TV CHANNELS"}},
        {"BT_CL_RadioTitle", {ButtonStyle::kTitle, Icon::kRadio, "RADIO CHANNELS"}},
        {"BT_CL_DataTitle", {ButtonStyle::kTitle, Icon::kData, "DATA SERVICES"}},
    };
    return buttons;
}

// An icon followed by a label, centred (or at the left for titles).
void DrawIconAndLabel(QPainter& p, const QRectF& r, std::optional<Icon> icon, const char* label,
                      const QColor& colour, int pixel_size, bool left) {
    const QFont font = SkinFont(pixel_size);
    const qreal icon_side = icon ? std::min<qreal>(r.height() - 4, 20) : 0;
    const qreal text_width = label != nullptr ? QFontMetricsF(font).horizontalAdvance(label) : 0;
    const qreal gap = icon && label != nullptr ? 5 : 0;
    const qreal total = icon_side + gap + text_width;
    qreal x = left ? r.left() + 2 : r.center().x() - total / 2;
    if (icon) {
        DrawIcon(p, *icon, QRectF(x, r.center().y() - icon_side / 2, icon_side, icon_side), colour);
        x += icon_side + gap;
    }
    if (label != nullptr) {
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QRectF(x, r.top(), text_width + 2, r.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   label);
    }
}

QImage Button(const QImage& surface, const std::string& name, const QRect& rect, int state) {
    QImage image = surface.copy(rect).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto it = Buttons().find(name);
    if (it == Buttons().end()) return image;
    const ButtonArt& art = it->second;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r(0, 0, rect.width(), rect.height());
    DrawButtonBase(p, art.style, state, r);
    QColor colour = IconColour(art.style, state);
    if (name == "BT_Record" && state != kDisabled) colour = kRecord;
    if (name == "BT_Turnoff" && state == kHover) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC4, 0x3C, 0x3F));
        p.drawRoundedRect(r.adjusted(1, 0, -1, 0), 6, 6);
        colour = Qt::white;
    }
    const qreal shift = state == kPressed && art.style != ButtonStyle::kTab ? 0.6 : 0;
    const QRectF inner = r.translated(shift, shift);
    switch (art.style) {
        case ButtonStyle::kLogo:
            if (art.label != nullptr) {
                const QColor mark = state == kPressed ? kAccentDark
                                    : state == kHover ? kAccentBright
                                                      : kAccent;
                DrawKoru(p, QRectF(0, 1, 22, 20), mark, 2.2);
                p.setFont(SkinFont(15));
                p.setPen(state == kHover ? Qt::white : QColor(0xE6, 0xEA, 0xEF));
                p.drawText(QRectF(27, 0, r.width() - 27, r.height()),
                           Qt::AlignVCenter | Qt::AlignLeft, art.label);
            } else {
                DrawIcon(p, *art.icon, inner,
                         state == kPressed ? kAccent
                         : state == kHover ? kIcon
                                           : QColor(0x4D, 0x53, 0x5C));
            }
            break;
        case ButtonStyle::kTitle:
            DrawIconAndLabel(p, r, art.icon, art.label, QColor(0xE6, 0xEA, 0xEF), 12, true);
            break;
        case ButtonStyle::kTab:
            DrawIconAndLabel(p, inner.adjusted(2, 3, -2, -3), art.icon, art.label, colour, 11,
                             false);
            break;
        case ButtonStyle::kWide:
            DrawIconAndLabel(p, inner.adjusted(4, 5, -4, -5), art.icon, art.label, colour, 11,
                             false);
            break;
        default: {
            const qreal inset = art.style == ButtonStyle::kPrimary ? 6
                                : art.style == ButtonStyle::kBar   ? 2
                                                                   : 5;
            DrawIcon(p, *art.icon, inner.adjusted(inset, inset, -inset, -inset), colour);
            break;
        }
    }
    p.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

// Seven bars rising to the right; bars lit from the left.
QImage Antenna(const QImage& surface, const QRect& rect, int lit) {
    QImage image = Crop(surface, rect);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal bar = 4, gap = 1.6;
    const qreal left = (rect.width() - (7 * bar + 6 * gap)) / 2;
    for (int i = 0; i < 7; ++i) {
        const qreal height = 6 + i * 2.9;
        const QRectF r(left + i * (bar + gap), rect.height() - 4 - height, bar, height);
        if (i < lit) {
            p.setPen(Qt::NoPen);
            p.setBrush(Vertical(r.top(), r.bottom(), kAccentBright, kAccent));
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x2A, 0x2F, 0x37));
        }
        p.drawRoundedRect(r, 1, 1);
    }
    p.end();
    return image;
}

QImage VolumeTrack(const QImage& surface, const QRect& rect, bool filled) {
    QImage image = Crop(surface, rect);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF groove(2, rect.height() / 2.0 - 3, rect.width() - 4, 6);
    p.setPen(QPen(QColor(0x32, 0x37, 0x40), 1));
    if (filled) {
        QLinearGradient gradient(groove.left(), 0, groove.right(), 0);
        gradient.setColorAt(0, kAccentDark);
        gradient.setColorAt(1, kAccentBright);
        p.setBrush(gradient);
    } else {
        p.setBrush(QColor(0x0E, 0x10, 0x14));
    }
    p.drawRoundedRect(groove, 3, 3);
    p.end();
    return image;
}

// The knob: a pill on the slider's transparent colour, drawn without soft edges so that no
// half-transparent pixel is left around it.
QImage VolumeThumb(const QRect& rect) {
    QImage image(rect.size(), QImage::Format_RGB32);
    image.fill(kThumbKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect pill(2, 1, rect.width() - 4, rect.height() - 2);
    p.setPen(QPen(QColor(0x0C, 0x0E, 0x11), 1));
    p.setBrush(
        Vertical(pill.top(), pill.bottom(), QColor(0xF4, 0xF6, 0xF8), QColor(0xC3, 0xC9, 0xD1)));
    p.drawRoundedRect(pill.adjusted(0, 0, -1, -1), 3, 3);
    p.setPen(QPen(kAccentDark, 1));
    p.drawLine(pill.center().x(), pill.top() + 4, pill.center().x(), pill.bottom() - 4);
    p.end();
    return image;
}

QImage ProgressThumb(const QImage& surface, const QRect& rect) {
    QImage image = Crop(surface, rect);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(0, rect.height(), kAccentBright, kAccent));
    p.drawRoundedRect(QRectF(1, 1, rect.width() - 2, rect.height() - 2), 4, 4);
    p.end();
    return image;
}

// The audio layout's picture: radio waves rising over a deep sea-green field.
QImage RadioBackground(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient field(size.width() / 2.0, size.height() * 0.95, size.width() * 0.9);
    field.setColorAt(0, QColor(0x0F, 0x3B, 0x40));
    field.setColorAt(0.55, QColor(0x0A, 0x1E, 0x26));
    field.setColorAt(1, QColor(0x06, 0x0B, 0x10));
    p.fillRect(image.rect(), field);
    const QPointF source(size.width() / 2.0, size.height() * 0.78);
    for (int i = 1; i <= 6; ++i) {
        const qreal radius = 18.0 * i + 4;
        QColor colour = kAccent;
        colour.setAlpha(200 - i * 28);
        p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(source.x() - radius, source.y() - radius, 2 * radius, 2 * radius), 35 * 16,
                  110 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentBright);
    p.drawEllipse(source, 5, 5);
    // A quiet level meter along the bottom.
    const int bars = 32;
    const qreal width = (size.width() - 40.0) / bars;
    for (int i = 0; i < bars; ++i) {
        const qreal level = 4 + 14 * std::abs(std::sin(i * 0.55) * std::cos(i * 0.21));
        QColor colour = kAccent;
        colour.setAlpha(70);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(20 + i * width + 1, size.height() - 10 - level, width - 2, level),
                          1, 1);
    }
    p.end();
    return image;
}

QImage DataServiceLogo(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient field(0, 0, size.width(), size.height());
    field.setColorAt(0, QColor(0x10, 0x24, 0x2B));
    field.setColorAt(1, QColor(0x07, 0x0C, 0x11));
    p.fillRect(image.rect(), field);
    DrawKoru(p, QRectF(size.width() / 2.0 - 42, 40, 84, 96), kAccent, 7);
    p.setFont(SkinFont(26));
    p.setPen(QColor(0xEE, 0xF2, 0xF5));
    p.drawText(QRectF(0, 142, size.width(), 34), Qt::AlignCenter, "KORU-DMB");
    p.setFont(SkinFont(12, false));
    p.setPen(kAccentBright);
    p.drawText(QRectF(0, 176, size.width(), 22), Qt::AlignCenter, "DIGITAL RADIO  ·  DATA");
    p.end();
    return image;
}

QImage ProgramIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(0, side, QColor(0x2A, 0x2E, 0x35), QColor(0x15, 0x17, 0x1B)));
    p.drawRoundedRect(QRectF(1, 1, side - 2, side - 2), side * 0.22, side * 0.22);
    DrawKoru(p, QRectF(side * 0.16, side * 0.12, side * 0.68, side * 0.76), kAccent, side * 0.08);
    p.end();
    return image;
}

// ---- Dispatch -------------------------------------------------------------------------------

struct Surfaces {
    std::map<std::string, QImage> by_page;
};

QImage Draw(const Elements& elements, Surfaces& surfaces, const std::string& name) {
    std::string base = name;
    int state = -1;
    if (name.size() > 2 && name[name.size() - 2] == '_' && name.back() >= '1' &&
        name.back() <= '4' && elements.count(name) == 0) {
        base = name.substr(0, name.size() - 2);
        state = name.back() - '1';
    }
    const Element& element = elements.at(base);
    const QImage& surface = surfaces.by_page.at(element.page);
    const QRect& rect = element.rect;
    if (state >= 0) return Button(surface, base, rect, state);
    if (base.rfind("BM_ATN_", 0) == 0) return Antenna(surface, rect, 8 - (base.back() - '0'));
    if (base == "BM_Vol_Channel") return VolumeTrack(surface, rect, false);
    if (base == "BM_Vol_Active") return VolumeTrack(surface, rect, true);
    if (base == "BM_Vol_Normal") return VolumeThumb(rect);
    if (base == "BM_Pro_Normal") return ProgressThumb(surface, rect);
    if (base == "BM_RadioBG") return RadioBackground(rect.size());
    if (base.find("Title") != std::string::npos && base.rfind("BM_CS_", 0) == 0) {
        QImage image = Crop(surface, rect);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const Icon icon = base == "BM_CS_TVTitle"      ? Icon::kTv
                          : base == "BM_CS_RadioTitle" ? Icon::kRadio
                                                       : Icon::kData;
        const char* label = base == "BM_CS_TVTitle"      ? "TV"
                            : base == "BM_CS_RadioTitle" ? "RADIO"
                                                         : "DATA";
        DrawIconAndLabel(p, QRectF(2, 1, rect.width() - 4, rect.height() - 3), icon, label,
                         kAccentBright, 11, true);
        p.setPen(QPen(QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 110), 1));
        p.drawLine(QPointF(0, rect.height() - 1.5), QPointF(rect.width(), rect.height() - 1.5));
        p.end();
        return image;
    }
    if (base == "BM_CS_Top") {
        QImage image = Crop(surface, rect);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        DrawIconAndLabel(p, QRectF(12, 6, rect.width() - 24, 24), Icon::kSearch, "CHANNEL SEARCH",
                         QColor(0xE6, 0xEA, 0xEF), 12, true);
        p.end();
        return image;
    }
    return Crop(surface, rect);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mkskin-art LAYOUT.xml IMAGE_FOLDER [--logo dab_logo.jpg] "
                 "[--icon koru-dmb.png] [--hicolor FOLDER --icon-name NAME]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 3 || argc % 2 == 0) return Usage();
    const std::string layout_path = argv[1];
    const QString folder = QString::fromLocal8Bit(argv[2]);
    std::optional<QString> logo;
    std::optional<QString> icon;
    std::optional<QString> hicolor;
    QString icon_name = "koru-dmb";
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--logo") {
            logo = QString::fromLocal8Bit(argv[i + 1]);
        } else if (option == "--icon") {
            icon = QString::fromLocal8Bit(argv[i + 1]);
        } else if (option == "--hicolor") {
            hicolor = QString::fromLocal8Bit(argv[i + 1]);
        } else if (option == "--icon-name") {
            icon_name = QString::fromLocal8Bit(argv[i + 1]);
        } else {
            return Usage();
        }
    }

    pugi::xml_document document;
    if (!document.load_file(layout_path.c_str())) {
        std::fprintf(stderr, "mkskin-art: cannot read %s\n", layout_path.c_str());
        return 1;
    }
    const Elements elements = ReadElements(document);
    std::string xml;
    {
        std::FILE* file = std::fopen(layout_path.c_str(), "rb");
        char buffer[4096];
        size_t got;
        while (file != nullptr && (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
            xml.append(buffer, got);
        if (file != nullptr) std::fclose(file);
    }
    const std::optional<std::vector<std::string>> names = koru::skin::DeclaredImageNames(xml);
    if (!names) {
        std::fprintf(stderr, "mkskin-art: %s is not a layout\n", layout_path.c_str());
        return 1;
    }

    Surfaces surfaces;
    try {
        surfaces.by_page["MAIN"] = Finish(MainSurface(elements));
        surfaces.by_page["CL"] =
            Finish(PanelSurface(elements.at("P_CL").rect, elements.at("BM_CL_Top").rect,
                                elements.at("RG_CL_LIST").rect));
        surfaces.by_page["CS"] =
            Finish(PanelSurface(elements.at("P_CS").rect, elements.at("BM_CS_Top").rect, QRect()));
        surfaces.by_page["MB"] = Finish(MessageSurface(elements.at("P_MB").rect));
    } catch (const std::out_of_range&) {
        std::fprintf(stderr, "mkskin-art: the layout lacks an element the artwork needs\n");
        return 1;
    }

    QDir().mkpath(folder);
    for (const std::string& name : *names) {
        QImage image;
        try {
            image = Draw(elements, surfaces, name);
        } catch (const std::out_of_range&) {
            std::fprintf(stderr, "mkskin-art: no element for image %s\n", name.c_str());
            return 1;
        }
        const QString path = folder + "/" + QString::fromStdString(name) + ".bmp";
        if (!image.convertToFormat(QImage::Format_RGB32).save(path, "BMP")) {
            std::fprintf(stderr, "mkskin-art: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    if (logo && !DataServiceLogo(QSize(320, 240)).save(*logo, "JPEG", 90)) {
        std::fprintf(stderr, "mkskin-art: cannot write %s\n", qPrintable(*logo));
        return 1;
    }
    if (icon && !ProgramIcon(64).save(*icon, "PNG")) {
        std::fprintf(stderr, "mkskin-art: cannot write %s\n", qPrintable(*icon));
        return 1;
    }
    // Drawn at every size rather than scaled, so that small icons stay sharp.
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        if (!hicolor) break;
        const QString apps = QString("%1/%2x%2/apps").arg(*hicolor).arg(side);
        const QString path = apps + "/" + icon_name + ".png";
        if (!QDir().mkpath(apps) || !ProgramIcon(side).save(path, "PNG")) {
            std::fprintf(stderr, "mkskin-art: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
