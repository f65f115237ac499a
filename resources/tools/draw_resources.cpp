// Draws the pictures the program ships with into the folder given as the
// argument: the toolbar strip "ToolBar.bmp", the program icon "plinka.png" and
// the default cover "Cover.jpg". The committed copies in resources/ were made
// by running it there.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

namespace {

constexpr int kCell = 20;        // one toolbar picture is kCell x kCell pixels
constexpr int kToolImages = 13;  // pictures in the strip

const QColor kToolBackground(0xEB, 0xEB, 0xEB);
const QColor kInk(0x37, 0x47, 0x4F);       // the neutral glyph colour
const QColor kInkLight(0x54, 0x6E, 0x7A);  // gear, database
const QColor kGreen(0x2E, 0x7D, 0x32);
const QColor kRed(0xC6, 0x28, 0x28);
const QColor kGold(0xF9, 0xB3, 0x1E);
const QColor kGoldEdge(0xB2, 0x6A, 0x00);
const QColor kBlue(0x1E, 0x78, 0xD2);

QPolygonF triangle(QPointF a, QPointF b, QPointF c) { return QPolygonF({a, b, c}); }

void fill(QPainter& p, const QPainterPath& path, const QColor& colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(path);
}

void fill(QPainter& p, const QPolygonF& polygon, const QColor& colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(polygon);
}

// ---- toolbar pictures, each drawn in a 20 x 20 cell ----

void drawPlay(QPainter& p) { fill(p, triangle({6, 3.5}, {16.5, 10}, {6, 16.5}), kGreen); }

void drawStop(QPainter& p) {
  QPainterPath path;
  path.addRoundedRect(QRectF(4.5, 4.5, 11, 11), 1.5, 1.5);
  fill(p, path, kRed);
}

// A circular arrow turning back (counter-clockwise): back to the start of
// the song. Drawn turning forward, then mirrored.
void drawRestart(QPainter& p) {
  p.translate(kCell, 0);
  p.scale(-1, 1);
  const QPointF centre(10, 10.5);
  const double radius = 5.8;
  const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath arc;
  arc.arcMoveTo(circle, 110);
  arc.arcTo(circle, 110, 290);
  QPen pen(kInk, 2.2);
  pen.setCapStyle(Qt::FlatCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  // The arrow head sits at the start of the arc and points away from it.
  const double start = 110 * std::numbers::pi / 180;
  const QPointF tip(centre.x() + radius * std::cos(start), centre.y() - radius * std::sin(start));
  fill(p, triangle(tip + QPointF(-4.4, -0.6), tip + QPointF(1.6, -4.2), tip + QPointF(1.9, 3.2)), kInk);
}

// Bar and two triangles pointing left: the song before.
void drawPrevious(QPainter& p) {
  fill(p, QPolygonF(QRectF(3, 5, 2.4, 10)), kInk);
  fill(p, triangle({11, 5}, {5.4, 10}, {11, 15}), kInk);
  fill(p, triangle({17, 5}, {11.4, 10}, {17, 15}), kInk);
}

// Two triangles pointing right and a bar: the next song.
void drawSkip(QPainter& p) {
  fill(p, triangle({3, 5}, {8.6, 10}, {3, 15}), kInk);
  fill(p, triangle({9, 5}, {14.6, 10}, {9, 15}), kInk);
  fill(p, QPolygonF(QRectF(14.6, 5, 2.4, 10)), kInk);
}

QPolygonF star(QPointF centre, double outer, double inner) {
  QPolygonF points;
  for (int i = 0; i < 10; ++i) {
    const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
    const double r = i % 2 == 0 ? outer : inner;
    points << QPointF(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
  }
  return points;
}

void drawRate(QPainter& p) {
  p.setPen(QPen(kGoldEdge, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(kGold);
  p.drawPolygon(star({10, 10.8}, 8.6, 3.7));
}

// A page with a folded corner and lines: the song's database entry.
void drawEntry(QPainter& p) {
  QPainterPath page;
  page.moveTo(4.5, 2.5);
  page.lineTo(11.5, 2.5);
  page.lineTo(15.5, 6.5);
  page.lineTo(15.5, 17.5);
  page.lineTo(4.5, 17.5);
  page.closeSubpath();
  p.setPen(QPen(kInk, 1.0));
  p.setBrush(Qt::white);
  p.drawPath(page);
  p.setBrush(QColor(0xCF, 0xD8, 0xDC));
  p.drawPolygon(triangle({11.5, 2.5}, {11.5, 6.5}, {15.5, 6.5}));
  p.setPen(QPen(kBlue, 1.3));
  for (double y : {9.0, 11.75, 14.5})
    p.drawLine(QPointF(6.8, y), QPointF(13.2, y));
}

void drawSearch(QPainter& p) {
  p.setPen(QPen(kInk, 3.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(12.6, 12.6), QPointF(16.8, 16.8));
  p.setPen(QPen(kInk, 2.0));
  p.setBrush(QColor(0xBB, 0xDE, 0xFB));
  p.drawEllipse(QPointF(8.5, 8.5), 5.2, 5.2);
}

void drawDatabase(QPainter& p) {
  const double left = 3.5, right = 16.5, top = 4.0, bottom = 16.0, rim = 2.4;
  QPainterPath body;
  body.moveTo(left, top);
  body.lineTo(left, bottom);
  body.arcTo(QRectF(left, bottom - rim, right - left, 2 * rim), 180, 180);
  body.lineTo(right, top);
  body.closeSubpath();
  p.setPen(QPen(kInk, 1.0));
  p.setBrush(kInkLight);
  p.drawPath(body);
  p.setBrush(QColor(0xB0, 0xBE, 0xC5));
  p.drawEllipse(QRectF(left, top - rim, right - left, 2 * rim));
  p.setPen(QPen(QColor(0xB0, 0xBE, 0xC5), 1.0));
  p.setBrush(Qt::NoBrush);
  for (double y : {8.0, 12.0})
    p.drawArc(QRectF(left + 0.5, y - rim, right - left - 1, 2 * rim), 180 * 16, 180 * 16);
}

void drawOptions(QPainter& p) {
  const QPointF centre(10, 10);
  const int teeth = 8;
  const double outer = 8.6, inner = 6.4;
  QPolygonF outline;
  for (int i = 0; i < teeth; ++i) {
    const double step = 2 * std::numbers::pi / teeth;
    const double a = i * step;
    // Each tooth: a flat top between two slopes.
    const double parts[4][2] = {
        {a - step * 0.36, inner}, {a - step * 0.2, outer}, {a + step * 0.2, outer}, {a + step * 0.36, inner}};
    for (const auto& part : parts)
      outline << QPointF(centre.x() + part[1] * std::cos(part[0]), centre.y() + part[1] * std::sin(part[0]));
  }
  QPainterPath gear;
  gear.addPolygon(outline);
  gear.closeSubpath();
  QPainterPath hole;
  hole.addEllipse(centre, 2.6, 2.6);
  fill(p, gear.subtracted(hole), kInkLight);
}

void drawHelp(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawEllipse(QPointF(10, 10), 8.6, 8.6);
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(14);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0.5, 20, 20), Qt::AlignCenter, "?");
}

void drawPause(QPainter& p) {
  fill(p, QPolygonF(QRectF(5, 4, 3.6, 12)), kGreen);
  fill(p, QPolygonF(QRectF(11.4, 4, 3.6, 12)), kGreen);
}

QImage toolbarStrip() {
  QImage strip(kCell * kToolImages, kCell, QImage::Format_RGB888);
  strip.fill(kToolBackground);
  const std::vector<std::function<void(QPainter&)>> pictures = {
      drawPlay,   drawStop,         drawRestart,  drawPrevious, drawSkip, drawRate, drawEntry,
      drawSearch, [](QPainter&) {}, drawDatabase, drawOptions,  drawHelp, drawPause};
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  for (size_t i = 0; i < pictures.size(); ++i) {
    p.save();
    p.translate(static_cast<double>(i) * kCell, 0);
    p.setClipRect(QRectF(0, 0, kCell, kCell));
    pictures[i](p);
    p.restore();
  }
  return strip;
}

// ---- notes ----

// One eighth note whose head lies in the lower left of `box`.
QPainterPath eighthNote(const QRectF& box) {
  const double w = box.width(), h = box.height();
  auto at = [&](double fx, double fy) { return QPointF(box.left() + fx * w, box.top() + fy * h); };
  QPainterPath head;
  head.addEllipse(QPointF(0, 0), 0.22 * w, 0.155 * h);
  const QPointF headCentre = at(0.36, 0.8);
  QTransform tilt;
  tilt.translate(headCentre.x(), headCentre.y());
  tilt.rotate(-22);
  QPainterPath note = tilt.map(head);
  // Stem up from the head's right side.
  const double stemRight = 0.575, stemWidth = 0.095;
  note.addRect(QRectF(at(stemRight - stemWidth, 0.07), at(stemRight, 0.79)));
  // The flag: a curved tail from the top of the stem.
  QPainterPath flag;
  flag.moveTo(at(stemRight - 0.01, 0.07));
  flag.cubicTo(at(stemRight + 0.06, 0.22), at(0.93, 0.26), at(0.8, 0.58));
  flag.cubicTo(at(0.84, 0.38), at(0.72, 0.33), at(stemRight - 0.01, 0.31));
  flag.closeSubpath();
  note.addPath(flag);
  note.setFillRule(Qt::WindingFill);
  return note.simplified();
}

// Two eighth notes joined by a beam.
QPainterPath beamedNotes(const QRectF& box) {
  const double w = box.width(), h = box.height();
  auto at = [&](double fx, double fy) { return QPointF(box.left() + fx * w, box.top() + fy * h); };
  QPainterPath notes;
  const struct { double headX, headY, stemTop; } parts[2] = {{0.2, 0.84, 0.2}, {0.74, 0.76, 0.12}};
  for (const auto& part : parts) {
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), 0.15 * w, 0.105 * h);
    QTransform tilt;
    tilt.translate(box.left() + part.headX * w, box.top() + part.headY * h);
    tilt.rotate(-22);
    notes.addPath(tilt.map(head));
    const double stemRight = part.headX + 0.135;
    notes.addRect(QRectF(at(stemRight - 0.06, part.stemTop), at(stemRight, part.headY - 0.02)));
  }
  QPolygonF beam;
  beam << at(0.275, 0.2) << at(0.875, 0.12) << at(0.875, 0.25) << at(0.275, 0.33);
  notes.addPolygon(beam);
  notes.closeSubpath();
  notes.setFillRule(Qt::WindingFill);
  return notes.simplified();
}

// The icon is drawn on a 32-pixel grid and scaled to the size asked for.
QImage programIcon(int size = 32) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  QLinearGradient tile(0, 0, 0, 32);
  tile.setColorAt(0, QColor(0x5C, 0x6B, 0xC0));
  tile.setColorAt(1, QColor(0x30, 0x3F, 0x9F));
  QPainterPath square;
  square.addRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawPath(square);
  p.setBrush(Qt::white);
  p.drawPath(eighthNote(QRectF(6, 4, 21, 25)));
  return icon;
}

QImage defaultCover() {
  QImage cover(300, 300, QImage::Format_RGB32);
  QPainter p(&cover);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient ground(0, 0, 300, 300);
  ground.setColorAt(0, QColor(0x4A, 0x5D, 0x74));
  ground.setColorAt(1, QColor(0x23, 0x30, 0x40));
  p.fillRect(cover.rect(), ground);
  QRadialGradient glow(QPointF(150, 150), 150);
  glow.setColorAt(0, QColor(255, 255, 255, 40));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(cover.rect(), glow);
  p.setPen(QPen(QColor(255, 255, 255, 60), 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(150, 150), 112, 112);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xEC, 0xEF, 0xF1));
  p.drawPath(beamedNotes(QRectF(88, 82, 124, 136)));
  return cover;
}

bool save(const QImage& image, const QString& path, const char* format, int quality = -1) {
  if (image.save(path, format, quality))
    return true;
  std::fprintf(stderr, "could not write %s\n", qPrintable(path));
  return false;
}

}  // namespace

// The program icon at the desktop's usual sizes, in the layout of an icon
// theme: FOLDER/hicolor/NxN/apps/plinka.png.
bool drawThemeIcons(const QString& folder) {
  bool ok = true;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString dir = folder + QString("hicolor/%1x%1/apps/").arg(size);
    QDir().mkpath(dir);
    ok = save(programIcon(size), dir + "plinka.png", "PNG") && ok;
  }
  return ok;
}

int main(int argc, char** argv) {
  const bool themeIcons = argc == 3 && std::strcmp(argv[1], "--icons") == 0;
  if (argc != 2 && !themeIcons) {
    std::fprintf(stderr, "usage: %s FOLDER | --icons FOLDER\n", argv[0]);
    return 2;
  }
  // Only images are drawn: no screen is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (themeIcons)
    return drawThemeIcons(QString::fromLocal8Bit(argv[2]) + "/") ? 0 : 1;
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
  bool ok = save(toolbarStrip(), folder + "ToolBar.bmp", "BMP");
  ok = save(programIcon(), folder + "plinka.png", "PNG") && ok;
  ok = save(defaultCover(), folder + "Cover.jpg", "JPG", 90) && ok;
  return ok ? 0 : 1;
}
