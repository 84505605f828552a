// Draws the camera's stand-by picture and writes it as a 640 x 480, 24-bit
// bottom-up .bmp file: a calm blue gradient, a camera pictogram with the
// stand-by (power) symbol as its lens, and the words "待机" and "STANDBY".
// The result is kept in camera/resources/standby.bmp; run this program again
// (it is portable C++, built with the tree) after changing the drawing.
//
// Shapes are strokes of constant width around polylines and outlines; each
// pixel's coverage comes from its distance to the stroke, which gives smooth
// edges without supersampling.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kPi = 3.14159265358979323846;

struct Point {
    double x, y;
};

struct Color {
    double r, g, b;
};

double DistanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

// One layer of strokes in one colour; the layer's coverage at a pixel is the
// strongest coverage of any of its strokes (their union).
class Layer {
public:
    void Polyline(std::vector<Point> points, double width) { m_lines.push_back({std::move(points), width}); }

    // An elliptic arc from angle `from` to angle `to` (degrees, y axis down).
    void Arc(Point centre, double rx, double ry, double from, double to, double width) {
        std::vector<Point> points;
        const int steps = 48;
        for (int i = 0; i <= steps; ++i) {
            const double a = (from + (to - from) * i / steps) * kPi / 180.0;
            points.push_back({centre.x + rx * std::cos(a), centre.y + ry * std::sin(a)});
        }
        Polyline(std::move(points), width);
    }

    void RoundedBoxOutline(Point centre, double halfWidth, double halfHeight, double radius, double width) {
        m_boxes.push_back({centre, halfWidth, halfHeight, radius, width});
    }

    void Disc(Point centre, double radius) { Polyline({centre, centre}, 2 * radius); }

    // Moves and scales everything added since `first` from unit glyph space.
    void Place(size_t first, Point origin, double scale) {
        for (size_t i = first; i < m_lines.size(); ++i) {
            for (Point& p : m_lines[i].points) p = {origin.x + p.x * scale, origin.y + p.y * scale};
            m_lines[i].width *= scale;
        }
    }
    size_t LineCount() const { return m_lines.size(); }

    double Coverage(Point p) const {
        double best = 0;
        for (const Line& line : m_lines) {
            double d = 1e9;
            for (size_t i = 0; i + 1 < line.points.size(); ++i)
                d = std::min(d, DistanceToSegment(p, line.points[i], line.points[i + 1]));
            best = std::max(best, std::clamp(line.width / 2 - d + 0.5, 0.0, 1.0));
        }
        for (const Box& box : m_boxes) {
            // Distance to the outline of a rounded rectangle.
            const double qx = std::fabs(p.x - box.centre.x) - (box.halfWidth - box.radius);
            const double qy = std::fabs(p.y - box.centre.y) - (box.halfHeight - box.radius);
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double inside = std::min(std::max(qx, qy), 0.0);
            const double d = std::fabs(outside + inside - box.radius);
            best = std::max(best, std::clamp(box.width / 2 - d + 0.5, 0.0, 1.0));
        }
        return best;
    }

private:
    struct Line {
        std::vector<Point> points;
        double width;
    };
    struct Box {
        Point centre;
        double halfWidth, halfHeight, radius, width;
    };
    std::vector<Line> m_lines;
    std::vector<Box> m_boxes;
};

void AddCameraPictogram(Layer& layer) {
    const Point centre{320, 140};
    const double stroke = 8;
    layer.RoundedBoxOutline(centre, 100, 58, 18, stroke);
    // Viewfinder housing on the body's top edge.
    layer.Polyline({{246, 82}, {258, 64}, {302, 64}, {314, 82}}, stroke);
    // The lens is the stand-by symbol: a ring open at the top and a bar into the gap.
    layer.Arc(centre, 32, 32, -55, 235, stroke);
    layer.Polyline({{centre.x, centre.y - 42}, {centre.x, centre.y - 6}}, stroke);
    layer.Disc({392, 104}, 6);
}

// "待机" on a unit square per character, drawn as our own brush strokes.
void AddChineseWord(Layer& layer, Point origin, double size, double gap) {
    const double w = 0.1;
    size_t first = layer.LineCount();
    // 待: the left radical, then 土 over 寸.
    layer.Polyline({{0.24, 0.05}, {0.05, 0.26}}, w);
    layer.Polyline({{0.27, 0.30}, {0.03, 0.56}}, w);
    layer.Polyline({{0.16, 0.43}, {0.16, 0.97}}, w);
    layer.Polyline({{0.45, 0.17}, {0.90, 0.17}}, w);
    layer.Polyline({{0.675, 0.03}, {0.675, 0.40}}, w);
    layer.Polyline({{0.37, 0.40}, {0.98, 0.40}}, w);
    layer.Polyline({{0.38, 0.62}, {0.98, 0.62}}, w);
    layer.Polyline({{0.81, 0.48}, {0.81, 0.93}, {0.70, 0.87}}, w);
    layer.Polyline({{0.51, 0.71}, {0.58, 0.82}}, w);
    layer.Place(first, origin, size);

    first = layer.LineCount();
    // 机: 木 on the left, 几 on the right.
    layer.Polyline({{0.02, 0.30}, {0.42, 0.30}}, w);
    layer.Polyline({{0.22, 0.04}, {0.22, 0.97}}, w);
    layer.Polyline({{0.21, 0.33}, {0.03, 0.72}}, w);
    layer.Polyline({{0.25, 0.46}, {0.38, 0.60}}, w);
    layer.Polyline({{0.56, 0.13}, {0.56, 0.55}, {0.53, 0.76}, {0.45, 0.93}}, w);
    layer.Polyline({{0.56, 0.13}, {0.80, 0.13}, {0.80, 0.84}, {0.85, 0.92}, {0.97, 0.92}, {0.97, 0.79}}, w);
    layer.Place(first, {origin.x + size + gap, origin.y}, size);
}

// "STANDBY" on glyph boxes one unit high; returns the advance of each letter.
double AddLetter(Layer& layer, char letter) {
    const double w = 0.16;
    switch (letter) {
    case 'S':
        layer.Arc({0.38, 0.26}, 0.34, 0.23, -25, -270, w);
        layer.Arc({0.38, 0.74}, 0.34, 0.26, -90, 155, w);
        return 0.76;
    case 'T':
        layer.Polyline({{0.0, 0.0}, {0.8, 0.0}}, w);
        layer.Polyline({{0.4, 0.0}, {0.4, 1.0}}, w);
        return 0.8;
    case 'A':
        layer.Polyline({{0.0, 1.0}, {0.42, 0.0}, {0.84, 1.0}}, w);
        layer.Polyline({{0.16, 0.64}, {0.68, 0.64}}, w);
        return 0.84;
    case 'N':
        layer.Polyline({{0.0, 1.0}, {0.0, 0.0}, {0.72, 1.0}, {0.72, 0.0}}, w);
        return 0.72;
    case 'D':
        layer.Polyline({{0.3, 0.0}, {0.0, 0.0}, {0.0, 1.0}, {0.3, 1.0}}, w);
        layer.Arc({0.3, 0.5}, 0.46, 0.5, -90, 90, w);
        return 0.76;
    case 'B':
        layer.Polyline({{0.36, 0.0}, {0.0, 0.0}, {0.0, 1.0}, {0.4, 1.0}}, w);
        layer.Polyline({{0.0, 0.48}, {0.4, 0.48}}, w);
        layer.Arc({0.36, 0.24}, 0.28, 0.24, -90, 90, w);
        layer.Arc({0.4, 0.74}, 0.32, 0.26, -90, 90, w);
        return 0.72;
    case 'Y':
        layer.Polyline({{0.0, 0.0}, {0.4, 0.5}, {0.8, 0.0}}, w);
        layer.Polyline({{0.4, 0.5}, {0.4, 1.0}}, w);
        return 0.8;
    default:
        return 0.5;
    }
}

void AddLatinWord(Layer& layer, const char* word, double baselineTop, double size, double spacing) {
    // Measure first so that the word is centred.
    Layer scratch;
    double total = 0;
    int count = 0;
    for (const char* c = word; *c; ++c, ++count) total += AddLetter(scratch, *c);
    total = total * size + spacing * (count - 1);
    double x = (kWidth - total) / 2;
    for (const char* c = word; *c; ++c) {
        const size_t first = layer.LineCount();
        const double advance = AddLetter(layer, *c);
        layer.Place(first, {x, baselineTop}, size);
        x += advance * size + spacing;
    }
}

Color Background(int x, int y) {
    // Deep blue at the top fading to a quiet teal, a little lighter in the middle.
    const double t = static_cast<double>(y) / (kHeight - 1);
    const Color top{22, 38, 64}, bottom{38, 88, 106};
    const double dx = (x - kWidth / 2.0) / kWidth, dy = (y - kHeight * 0.42) / kHeight;
    const double glow = 18 * std::exp(-(dx * dx + dy * dy) * 6);
    return {top.r + (bottom.r - top.r) * t + glow, top.g + (bottom.g - top.g) * t + glow,
            top.b + (bottom.b - top.b) * t + glow};
}

Color Blend(Color under, Color over, double alpha) {
    return {under.r + (over.r - under.r) * alpha, under.g + (over.g - under.g) * alpha,
            under.b + (over.b - under.b) * alpha};
}

uint8_t Channel(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_standby_bitmap <output.bmp>\n");
        return 2;
    }
    Layer art;
    AddCameraPictogram(art);
    AddChineseWord(art, {232, 236}, 80, 16);
    AddLatinWord(art, "STANDBY", 352, 48, 14);

    const Color ink{236, 242, 248}, shadow{6, 14, 26};
    const int rowBytes = kWidth * 3;
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * kHeight);
    std::vector<uint8_t> file;
    file.reserve(54 + imageBytes);
    // BITMAPFILEHEADER, then BITMAPINFOHEADER (40 bytes, 24 bits, BI_RGB).
    file.push_back('B');
    file.push_back('M');
    PutLe(file, 54 + imageBytes, 4);
    PutLe(file, 0, 4);
    PutLe(file, 54, 4);
    PutLe(file, 40, 4);
    PutLe(file, kWidth, 4);
    PutLe(file, kHeight, 4);
    PutLe(file, 1, 2);
    PutLe(file, 24, 2);
    PutLe(file, 0, 4);
    PutLe(file, imageBytes, 4);
    PutLe(file, 0, 4);
    PutLe(file, 0, 4);
    PutLe(file, 0, 4);
    PutLe(file, 0, 4);
    // Rows bottom-up, pixels blue, green, red.
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kWidth; ++x) {
            const Point p{x + 0.5, y + 0.5};
            Color c = Background(x, y);
            c = Blend(c, shadow, 0.35 * art.Coverage({p.x - 3, p.y - 3}));
            c = Blend(c, ink, 0.94 * art.Coverage(p));
            file.push_back(Channel(c.b));
            file.push_back(Channel(c.g));
            file.push_back(Channel(c.r));
        }
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return (std::fclose(out) == 0 && written) ? 0 : 1;
}
