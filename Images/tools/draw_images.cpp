// Draws the pictures of the resource bundle: the button icons, the logo strip,
// the acquisition illustration of the information box, the Windows icon and
// the program's icon for desktop menus (Images/icons/).
// The drawn files are kept in the repository; run this only to redraw them:
//   ardentis-draw-images OUTPUT_FOLDER

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QtMath>

#include <cstdio>

namespace
{

QImage canvas(int w, int h, const QColor &fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

// A small landscape picture: frame, sky, sun and a green hill.
void landscape(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(90, 90, 90), 1.2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 1.5, 1.5);
    const QRectF in = r.adjusted(2, 2, -2, -2);
    QLinearGradient sky(in.topLeft(), in.bottomLeft());
    sky.setColorAt(0, QColor(110, 170, 235));
    sky.setColorAt(1, QColor(190, 225, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(in);
    p.setBrush(QColor(250, 200, 40));
    p.drawEllipse(QPointF(in.left() + in.width() * 0.72, in.top() + in.height() * 0.3),
                  in.width() * 0.11, in.width() * 0.11);
    QPainterPath hill;
    hill.moveTo(in.bottomLeft());
    hill.lineTo(in.left(), in.top() + in.height() * 0.7);
    hill.quadTo(in.left() + in.width() * 0.35, in.top() + in.height() * 0.3,
                in.left() + in.width() * 0.65, in.top() + in.height() * 0.72);
    hill.quadTo(in.left() + in.width() * 0.85, in.top() + in.height() * 0.6, in.right(),
                in.top() + in.height() * 0.7);
    hill.lineTo(in.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(70, 150, 60));
    p.drawPath(hill);
}

void badge(QPainter &p, const QPointF &centre, const QColor &colour, bool plus)
{
    p.setPen(QPen(colour.darker(140), 1));
    p.setBrush(colour);
    p.drawEllipse(centre, 7.5, 7.5);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(centre + QPointF(-4, 0), centre + QPointF(4, 0));
    if (plus)
        p.drawLine(centre + QPointF(0, -4), centre + QPointF(0, 4));
}

QImage icon_picture(int kind)
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    landscape(p, QRectF(1.5, 4.5, 26, 20));
    if (kind == 0)
        badge(p, QPointF(23.5, 23.5), QColor(40, 160, 50), true);
    else
        badge(p, QPointF(23.5, 23.5), QColor(210, 40, 40), false);
    return image;
}

QImage icon_pictures()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    landscape(p, QRectF(9.5, 1.5, 21, 16));
    landscape(p, QRectF(5.5, 7.5, 21, 16));
    landscape(p, QRectF(1.5, 13.5, 21, 16));
    return image;
}

void gear(QPainter &p, const QPointF &c, double outer, int teeth, const QColor &colour)
{
    QPainterPath path;
    const double inner = outer * 0.75;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = 2 * M_PI * i / (teeth * 4);
        const double rad = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
        const QPointF pt = c + QPointF(rad * qCos(a), rad * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    path.addEllipse(c, outer * 0.3, outer * 0.3);
    path.setFillRule(Qt::OddEvenFill);
    QRadialGradient g(c, outer);
    g.setColorAt(0, colour.lighter(130));
    g.setColorAt(1, colour.darker(120));
    p.setPen(QPen(colour.darker(170), 1));
    p.setBrush(g);
    p.drawPath(path);
}

QImage icon_gears()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    gear(p, QPointF(12, 13), 11, 8, QColor(150, 150, 155));
    gear(p, QPointF(23.5, 23.5), 7.5, 6, QColor(120, 120, 128));
    return image;
}

QImage icon_folder_picture()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath back;
    back.moveTo(1.5, 6.5);
    back.lineTo(11.5, 6.5);
    back.lineTo(14.5, 9.5);
    back.lineTo(30.5, 9.5);
    back.lineTo(30.5, 28.5);
    back.lineTo(1.5, 28.5);
    back.closeSubpath();
    p.setPen(QPen(QColor(180, 130, 20), 1));
    p.setBrush(QColor(240, 190, 60));
    p.drawPath(back);
    landscape(p, QRectF(9.5, 12.5, 19, 14));
    QLinearGradient front(0, 16, 0, 29);
    front.setColorAt(0, QColor(255, 220, 110));
    front.setColorAt(1, QColor(240, 185, 50));
    p.setBrush(front);
    QPainterPath flap;
    flap.moveTo(1.5, 28.5);
    flap.lineTo(4.5, 17.5);
    flap.lineTo(12.5, 17.5);
    flap.lineTo(9.5, 28.5);
    flap.closeSubpath();
    p.drawPath(flap);
    return image;
}

QImage icon_table()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(100, 110, 120));
    p.setBrush(Qt::white);
    p.drawRect(2, 3, 27, 24);
    p.fillRect(3, 4, 26, 5, QColor(170, 200, 235));
    p.fillRect(3, 4, 6, 23, QColor(215, 225, 235));
    for (int y = 9; y < 27; y += 5)
        p.drawLine(3, y, 28, y);
    for (int x = 9; x < 29; x += 7)
        p.drawLine(x, 4, x, 26);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 110, 40), 1));
    p.setBrush(QColor(40, 160, 70));
    p.drawRoundedRect(QRectF(17.5, 17.5, 13, 13), 2.5, 2.5);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(20.5, 20.5), QPointF(27.5, 27.5));
    p.drawLine(QPointF(27.5, 20.5), QPointF(20.5, 27.5));
    return image;
}

QImage icon_eraser()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(16, 17);
    p.rotate(-35);
    p.setPen(QPen(QColor(120, 60, 80), 1));
    p.setBrush(QColor(240, 130, 170));
    p.drawRoundedRect(QRectF(-13, -6, 14, 12), 2, 2);
    p.setBrush(QColor(165, 170, 180));
    p.drawRoundedRect(QRectF(1, -6, 12, 12), 2, 2);
    p.resetTransform();
    p.setPen(QPen(QColor(150, 150, 150), 1.2, Qt::DashLine));
    p.drawLine(QPointF(3, 29.5), QPointF(29, 29.5));
    return image;
}

QImage icon_information()
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(12, 10), 18);
    g.setColorAt(0, QColor(110, 170, 250));
    g.setColorAt(1, QColor(20, 80, 190));
    p.setPen(QPen(QColor(15, 60, 150), 1));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9), 2.4, 2.4);
    p.drawRoundedRect(QRectF(13.8, 13, 4.4, 12), 1, 1);
    return image;
}

QFont font(int pixels, bool bold = false, bool serif = false)
{
    QFont f(serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Velmora: a leaf in a warm-to-cold thermal gradient beside the name.
void draw_maker_logo(QPainter &p, int cell)
{
    QLinearGradient g(150, 100, 650, 660);
    g.setColorAt(0.0, QColor(250, 230, 60));
    g.setColorAt(0.4, QColor(240, 90, 30));
    g.setColorAt(0.75, QColor(150, 20, 120));
    g.setColorAt(1.0, QColor(30, 20, 110));
    QPainterPath leaf;
    leaf.moveTo(180, 660);
    leaf.cubicTo(140, 300, 420, 90, 700, 90);
    leaf.cubicTo(720, 380, 520, 650, 180, 660);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(leaf);
    p.setPen(QPen(Qt::white, 22, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(230, 610), QPointF(620, 170));
    p.setPen(QColor(35, 95, 50));
    p.setFont(font(250, true));
    p.drawText(QRect(820, 110, cell - 900, 380), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Velmora"));
    p.setPen(QColor(110, 110, 110));
    p.setFont(font(110));
    p.drawText(QRect(830, 500, cell - 900, 160), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("crop thermography"));
}

// A research institute: a shield with wheat ears.
void draw_institute_logo(QPainter &p, int cell)
{
    const int x0 = cell + 200;
    QPainterPath shield;
    shield.moveTo(x0, 110);
    shield.lineTo(x0 + 480, 110);
    shield.lineTo(x0 + 480, 400);
    shield.quadTo(x0 + 480, 600, x0 + 240, 680);
    shield.quadTo(x0, 600, x0, 400);
    shield.closeSubpath();
    p.setPen(QPen(QColor(20, 50, 100), 18));
    p.setBrush(QColor(40, 90, 160));
    p.drawPath(shield);
    p.setPen(QPen(QColor(240, 200, 80), 16, Qt::SolidLine, Qt::RoundCap));
    for (int k = -1; k <= 1; ++k) {
        const double x = x0 + 240 + k * 110;
        p.drawLine(QPointF(x, 610 - qAbs(k) * 40), QPointF(x, 220));
        for (int j = 0; j < 5; ++j) {
            const double y = 250 + j * 55;
            p.drawLine(QPointF(x, y + 40), QPointF(x - 45, y));
            p.drawLine(QPointF(x, y + 40), QPointF(x + 45, y));
        }
    }
    p.setPen(QColor(30, 60, 110));
    p.setFont(font(125, true, true));
    p.drawText(QRect(x0 + 580, 140, cell - 800, 260), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Institute of"));
    p.drawText(QRect(x0 + 580, 380, cell - 800, 260), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Field Agronomy"));
}

// A growers' cooperative: a sun over furrows.
void draw_cooperative_logo(QPainter &p, int cell)
{
    const int x0 = 2 * cell + 200;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 170, 30));
    p.drawEllipse(QPointF(x0 + 260, 330), 170, 170);
    p.setPen(QPen(QColor(245, 170, 30), 22, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const double a = 2 * M_PI * i / 12;
        p.drawLine(QPointF(x0 + 260 + 205 * qCos(a), 330 + 205 * qSin(a)),
                   QPointF(x0 + 260 + 250 * qCos(a), 330 + 250 * qSin(a)));
    }
    p.setPen(QPen(QColor(60, 130, 50), 26, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        QPainterPath furrow;
        furrow.moveTo(x0 - 10, 560 + i * 45);
        furrow.quadTo(x0 + 260, 470 + i * 45, x0 + 530, 560 + i * 45);
        p.setBrush(Qt::NoBrush);
        p.drawPath(furrow);
    }
    p.setPen(QColor(70, 110, 40));
    p.setFont(font(150, true));
    p.drawText(QRect(x0 + 640, 130, cell - 850, 260), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Valley Growers"));
    p.setFont(font(120));
    p.drawText(QRect(x0 + 640, 390, cell - 850, 240), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Cooperative"));
}

// Three organisation logos side by side, the maker's first.
QImage logo_strip()
{
    QImage image(6584, 765, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int cell = 6584 / 3;
    draw_maker_logo(p, cell);
    p.setPen(QPen(QColor(210, 210, 210), 8));
    p.drawLine(cell, 120, cell, 645);
    p.drawLine(2 * cell, 120, 2 * cell, 645);
    draw_institute_logo(p, cell);
    draw_cooperative_logo(p, cell);
    return image;
}

// A false-colour thermal palette from cold (dark blue) to hot (white-yellow).
QColor ironbow(double t)
{
    t = qBound(0.0, t, 1.0);
    const QColor stops[] = {QColor(10, 10, 60),   QColor(90, 20, 140),  QColor(200, 40, 90),
                            QColor(240, 120, 30), QColor(255, 220, 80), QColor(255, 255, 220)};
    const double x = t * 5;
    const int i = qMin(4, int(x));
    const double f = x - i;
    const QColor &a = stops[i], &b = stops[i + 1];
    return QColor(int(a.red() + (b.red() - a.red()) * f),
                  int(a.green() + (b.green() - a.green()) * f),
                  int(a.blue() + (b.blue() - a.blue()) * f));
}

// The plot seen from above: rows of plants over soil.
void plot_photo(QPainter &p, const QRect &r, quint32 seed)
{
    QRandomGenerator rng(seed);
    p.save();
    p.setClipRect(r);
    p.fillRect(r, QColor(150, 115, 80));
    for (int i = 0; i < 400; ++i)
        p.fillRect(QRectF(r.x() + rng.bounded(r.width()), r.y() + rng.bounded(r.height()), 3, 3),
                   QColor(120 + rng.bounded(40), 90 + rng.bounded(30), 60 + rng.bounded(20)));
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 5; ++row) {
        const double y = r.y() + (row + 0.5) * r.height() / 5.0;
        for (int k = 0; k < 26; ++k) {
            const double x = r.x() + rng.bounded(r.width());
            const double s = 6 + rng.bounded(9);
            p.setBrush(QColor(40 + rng.bounded(40), 120 + rng.bounded(60), 30 + rng.bounded(30)));
            p.drawEllipse(QPointF(x, y + rng.bounded(12) - 6), s, s * 0.8);
        }
    }
    p.restore();
}

void plot_thermal(QPainter &p, const QRect &r, quint32 seed, bool filtered)
{
    QRandomGenerator rng(seed);
    QImage t(r.width() / 4, r.height() / 4, QImage::Format_RGB32);
    for (int y = 0; y < t.height(); ++y) {
        for (int x = 0; x < t.width(); ++x) {
            const double rowPhase = std::fmod(double(y) / t.height() * 5, 1.0);
            const bool plant = std::abs(rowPhase - 0.5) < 0.22 + 0.05 * std::sin(x * 0.7);
            const double v = plant ? 0.3 + 0.1 * std::sin(x * 0.3) : 0.8 + 0.05 * std::cos(y * 0.5);
            QColor c = ironbow(v + (rng.bounded(100) - 50) / 2000.0);
            if (filtered && !plant)
                c = Qt::black;
            t.setPixelColor(x, y, c);
        }
    }
    p.drawImage(r, t.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void panel_number(QPainter &p, const QRect &r, int n)
{
    p.setPen(QPen(QColor(30, 30, 30), 4));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(r.left() + 10, r.top() + 10), 34, 34);
    p.setFont(font(44, true));
    p.setPen(QColor(20, 20, 20));
    p.drawText(QRectF(r.left() - 24, r.top() - 24, 68, 68), Qt::AlignCenter, QString::number(n));
}

// The field scene: sky, soil, crop rows and the plot marked out.
void draw_field_scene(QPainter &p)
{
    const QRect scene(30, 120, 1300, 690);
    QLinearGradient sky(scene.topLeft(), QPoint(scene.left(), scene.top() + 330));
    sky.setColorAt(0, QColor(120, 175, 230));
    sky.setColorAt(1, QColor(215, 235, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(scene, 24, 24);
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(scene, 24, 24);
    p.setClipPath(clip);
    p.fillRect(QRect(scene.left(), scene.top() + 330, scene.width(), scene.height() - 330),
               QColor(160, 125, 85));
    // Crop rows running into the distance.
    for (int i = 0; i < 9; ++i) {
        QPainterPath row;
        const double xb = scene.left() - 300 + i * 240;
        row.moveTo(scene.left() + 500 + i * 40, scene.top() + 330);
        row.lineTo(scene.left() + 520 + i * 40, scene.top() + 330);
        row.lineTo(xb + 150, scene.bottom());
        row.lineTo(xb, scene.bottom());
        row.closeSubpath();
        p.setBrush(QColor(60, 140, 50));
        p.drawPath(row);
    }
    // The plot being photographed, marked out on the ground.
    p.setPen(QPen(QColor(250, 250, 250), 5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    QPolygonF plotArea;
    plotArea << QPointF(620, 560) << QPointF(1050, 560) << QPointF(1180, 780) << QPointF(560, 780);
    p.drawPolygon(plotArea);
    p.restore();
}

// The operator on a stepladder, the thermal camera and its view of the plot.
void draw_operator(QPainter &p)
{
    // The stepladder.
    p.setPen(QPen(QColor(190, 190, 200), 14, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(330, 790), QPointF(430, 380));
    p.drawLine(QPointF(530, 790), QPointF(430, 380));
    p.setPen(QPen(QColor(170, 170, 180), 9));
    for (int i = 1; i <= 4; ++i) {
        const double y = 380 + i * 82;
        const double dx = (y - 380) / 410.0 * 100;
        p.drawLine(QPointF(430 - dx, y), QPointF(430 + dx, y));
    }
    // The operator standing on the ladder, arms out towards the camera.
    p.setPen(QPen(QColor(40, 60, 110), 26, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(415, 460), QPointF(400, 380)); // legs
    p.drawLine(QPointF(450, 460), QPointF(445, 380));
    p.setPen(QPen(QColor(200, 60, 40), 48, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(425, 370), QPointF(430, 250)); // body
    p.setPen(QPen(QColor(200, 60, 40), 18, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(435, 270), QPointF(520, 300)); // arms
    p.drawLine(QPointF(430, 300), QPointF(515, 320));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 200, 160));
    p.drawEllipse(QPointF(432, 210), 32, 36); // head
    p.setBrush(QColor(90, 60, 30));
    p.drawChord(QRectF(398, 172, 68, 50), 0, 180 * 16); // hair
    // The thermal camera, pointing down at the plot.
    p.save();
    p.translate(540, 310);
    p.rotate(35);
    p.setBrush(QColor(40, 40, 45));
    p.drawRoundedRect(QRectF(-20, -22, 70, 44), 8, 8);
    p.setBrush(QColor(240, 200, 20));
    p.drawRect(QRectF(-12, 18, 24, 40)); // handle
    p.setBrush(QColor(20, 20, 20));
    p.drawEllipse(QPointF(52, 0), 14, 14);
    p.restore();
    // The camera's field of view on the plot.
    p.setPen(QPen(QColor(255, 80, 60, 200), 4, Qt::DotLine));
    p.drawLine(QPointF(585, 345), QPointF(620, 560));
    p.drawLine(QPointF(585, 345), QPointF(1050, 560));
}

// Four numbered panels on the right: the steps.
void draw_steps(QPainter &p)
{
    const int px = 1380, pw = 470, ph = 335;
    const QRect panels[4] = {QRect(px, 120, pw, ph), QRect(px + pw + 30, 120, pw, ph),
                             QRect(px, 120 + ph + 20, pw, ph),
                             QRect(px + pw + 30, 120 + ph + 20, pw, ph)};
    plot_photo(p, panels[0], 7);
    // (2) thermal image with the camera's temperature scale.
    {
        const QRect img = panels[1].adjusted(0, 0, -60, 0);
        plot_thermal(p, img, 11, false);
        for (int y = 0; y < panels[1].height(); ++y)
            p.fillRect(QRect(panels[1].right() - 40, panels[1].top() + y, 30, 1),
                       ironbow(1.0 - double(y) / panels[1].height()));
        p.setPen(Qt::black);
        p.setFont(font(22));
        p.drawText(QRect(panels[1].right() - 58, panels[1].top() - 2, 60, 26), Qt::AlignCenter,
                   QStringLiteral("35°"));
        p.drawText(QRect(panels[1].right() - 58, panels[1].bottom() - 24, 60, 26), Qt::AlignCenter,
                   QStringLiteral("15°"));
    }
    plot_thermal(p, panels[2], 11, true);
    // (4) photograph with the aligned thermal region framed in red.
    plot_photo(p, panels[3], 7);
    p.setPen(QPen(QColor(230, 20, 20), 6));
    p.setBrush(Qt::NoBrush);
    p.drawRect(panels[3].adjusted(panels[3].width() * 0.4, panels[3].height() * 0.44,
                                  -panels[3].width() * 0.01, -panels[3].height() * 0.0));
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(60, 60, 60), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(panels[i]);
        panel_number(p, panels[i], i + 1);
    }
}

// The acquisition illustration: heading, the operator on a stepladder
// photographing a crop plot, and the four numbered steps.
QImage acquisition_illustration()
{
    QImage image = canvas(2378, 835, QColor(255, 255, 255, 0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QColor(30, 50, 80));
    p.setFont(font(64, true));
    p.drawText(QRect(30, 20, 1300, 90), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Thermal image acquisition"));
    draw_field_scene(p);
    draw_operator(p);
    draw_steps(p);
    return image;
}

// A Windows icon file holding PNG-compressed images of the given sizes.
bool write_ico(const QString &path, const QList<QImage> &images)
{
    QByteArray dir, data;
    auto put16 = [](QByteArray &b, quint16 v) { b.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](QByteArray &b, quint32 v) {
        put16(b, quint16(v & 0xffff));
        put16(b, quint16(v >> 16));
    };
    put16(dir, 0);
    put16(dir, 1);
    put16(dir, quint16(images.size()));
    const quint32 first = 6 + 16 * quint32(images.size());
    for (const QImage &im : images) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        im.save(&buffer, "PNG");
        dir.append(char(im.width() >= 256 ? 0 : im.width()));
        dir.append(char(im.height() >= 256 ? 0 : im.height()));
        dir.append(char(0)).append(char(0));
        put16(dir, 1);
        put16(dir, 32);
        put32(dir, quint32(png.size()));
        put32(dir, first + quint32(data.size()));
        data.append(png);
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(dir + data) == dir.size() + data.size();
}

// The program's icon on an s-pixel square: a leaf in a warm-to-cold thermal
// gradient with a white midrib. The same shapes are painted for the Windows
// icon and the PNG sizes and written out as the scalable SVG.
struct IconShapes {
    QPainterPath leaf;
    QLinearGradient heat;
    QLineF midrib;
    double midrib_width;
};

IconShapes icon_shapes(double s)
{
    IconShapes shapes;
    shapes.heat = QLinearGradient(0, 0, s, s);
    shapes.heat.setColorAt(0, QColor(250, 220, 60));
    shapes.heat.setColorAt(0.5, QColor(235, 80, 40));
    shapes.heat.setColorAt(1, QColor(60, 20, 120));
    shapes.leaf.moveTo(s * 0.1, s * 0.92);
    shapes.leaf.cubicTo(s * 0.05, s * 0.4, s * 0.45, s * 0.08, s * 0.92, s * 0.08);
    shapes.leaf.cubicTo(s * 0.95, s * 0.5, s * 0.6, s * 0.92, s * 0.1, s * 0.92);
    shapes.midrib = QLineF(s * 0.18, s * 0.84, s * 0.8, s * 0.2);
    shapes.midrib_width = qMax(1.0, s / 14);
    return shapes;
}

QImage app_icon(int w, int h)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = qMin(w, h);
    p.translate((w - s) / 2, (h - s) / 2);
    const IconShapes shapes = icon_shapes(s);
    p.setPen(Qt::NoPen);
    p.setBrush(shapes.heat);
    p.drawPath(shapes.leaf);
    p.setPen(QPen(Qt::white, shapes.midrib_width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(shapes.midrib);
    return image;
}

QString svg_number(double v)
{
    return QString::number(v, 'g', 6);
}

// SVG path data of a path made of moves, lines and cubic curves.
QString svg_path_data(const QPainterPath &path)
{
    QString d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo())
            d += QStringLiteral("M");
        else if (e.isLineTo())
            d += QStringLiteral("L");
        else if (e.isCurveTo())
            d += QStringLiteral("C");
        d += svg_number(e.x) + QLatin1Char(' ') + svg_number(e.y) + QLatin1Char(' ');
    }
    return d + QStringLiteral("Z");
}

QByteArray app_icon_svg()
{
    const double s = 256;
    const IconShapes shapes = icon_shapes(s);
    QString stops;
    for (const QGradientStop &stop : shapes.heat.stops())
        stops += QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\"/>")
                     .arg(svg_number(stop.first), stop.second.name());
    const QLineF m = shapes.midrib;
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
               "viewBox=\"0 0 %1 %1\">\n<defs><linearGradient id=\"heat\" "
               "gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"0\" x2=\"%1\" y2=\"%1\">%2"
               "</linearGradient></defs>\n<path d=\"%3\" fill=\"url(#heat)\"/>\n"
               "<line x1=\"%4\" y1=\"%5\" x2=\"%6\" y2=\"%7\" stroke=\"#ffffff\" "
               "stroke-width=\"%8\" stroke-linecap=\"round\"/>\n</svg>\n")
        .arg(svg_number(s), stops, svg_path_data(shapes.leaf), svg_number(m.x1()),
             svg_number(m.y1()), svg_number(m.x2()), svg_number(m.y2()),
             svg_number(shapes.midrib_width))
        .toUtf8();
}

// The campaign window's icon: the program's leaf with three bars of a
// chart in its lower right corner, as shares of the icon's side.
const QRectF campaign_bars[3] = {
    {0.56, 0.70, 0.11, 0.26}, {0.70, 0.58, 0.11, 0.38}, {0.84, 0.46, 0.11, 0.50}};
const QColor campaign_bar_colour(0x1f, 0x3a, 0x68);

QImage campaign_icon(int size)
{
    QImage image = app_icon(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, std::max(1.0, size / 40.0)));
    p.setBrush(campaign_bar_colour);
    for (const QRectF &bar : campaign_bars)
        p.drawRect(QRectF(bar.x() * size, bar.y() * size, bar.width() * size, bar.height() * size));
    return image;
}

QByteArray campaign_icon_svg()
{
    const double s = 256;
    QString bars;
    for (const QRectF &bar : campaign_bars)
        bars +=
            QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                           "fill=\"%5\" stroke=\"#ffffff\" stroke-width=\"%6\"/>\n")
                .arg(svg_number(bar.x() * s), svg_number(bar.y() * s), svg_number(bar.width() * s),
                     svg_number(bar.height() * s), campaign_bar_colour.name(), svg_number(s / 40));
    return app_icon_svg().replace("</svg>", bars.toUtf8() + "</svg>");
}

bool write_svg(const QString &path, const QByteArray &text)
{
    QFile svg(path);
    return svg.open(QIODevice::WriteOnly) && svg.write(text) == text.size() && svg.flush();
}

// The icons for desktop menus, the program's and the campaign window's: the
// SVG and the usual PNG sizes.
bool write_desktop_icons(const QDir &out)
{
    if (!out.mkpath(QStringLiteral("icons")))
        return false;
    const QDir icons(out.filePath(QStringLiteral("icons")));
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        ok &= app_icon(size, size)
                  .save(icons.filePath(QStringLiteral("ardentis-%1.png").arg(size)), "PNG");
        ok &= campaign_icon(size).save(
            icons.filePath(QStringLiteral("ardentis-campaign-%1.png").arg(size)), "PNG");
    }
    return ok && write_svg(icons.filePath(QStringLiteral("ardentis.svg")), app_icon_svg()) &&
           write_svg(icons.filePath(QStringLiteral("ardentis-campaign.svg")), campaign_icon_svg());
}

bool save(const QImage &image, const QDir &dir, const char *name, const char *format,
          int quality = -1)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    ok &= save(icon_picture(0), out, "picture_add.png", "PNG");
    ok &= save(icon_picture(1), out, "picture_delete.png", "PNG");
    ok &= save(icon_pictures(), out, "pictures.png", "PNG");
    ok &= save(icon_gears(), out, "gear_in.png", "PNG");
    ok &= save(icon_folder_picture(), out, "folder_picture.png", "PNG");
    ok &= save(icon_table(), out, "table_excel.png", "PNG");
    ok &= save(icon_eraser(), out, "draw_eraser.png", "PNG");
    ok &= save(icon_information(), out, "information.png", "PNG");
    ok &= save(logo_strip(), out, "logos.jpg", "JPG", 90);
    ok &= save(acquisition_illustration(), out, "draw_about.png", "PNG");
    ok &= write_ico(
        out.filePath(QStringLiteral("ardentis.ico")),
        {app_icon(16, 16), app_icon(24, 24), app_icon(32, 32), app_icon(48, 48), app_icon(45, 38)});
    if (!write_desktop_icons(out)) {
        std::fprintf(stderr, "cannot write the icons in %s\n", qPrintable(out.path()));
        ok = false;
    }
    return ok ? 0 : 1;
}
