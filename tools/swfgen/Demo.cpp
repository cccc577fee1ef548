// The ready-made movies: blank fixtures, the demo and the heavy benchmark scene.
#include "SwfWriter.h"

#include <cmath>

namespace swfgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kTw = 20;  // twips per pixel

void Star(ShapeBuilder& s, int32_t r0, int32_t r1, uint16_t fill, uint16_t line) {
    s.style(std::nullopt, fill, line);
    for (int i = 0; i <= 10; ++i) {
        double a = -kPi / 2 + i * kPi / 5;
        int32_t r = (i % 2) ? r1 : r0;
        int32_t x = int32_t(std::lround(r * std::cos(a))), y = int32_t(std::lround(r * std::sin(a)));
        if (i == 0) s.moveTo(x, y);
        else if (i == 10) s.lineTo(0, -r0);
        else s.lineTo(x, y);
    }
}

void RoundedSquare(ShapeBuilder& s, int32_t half, int32_t radius, uint16_t fill) {
    int32_t h = half, r = radius;
    s.style(std::nullopt, fill, std::nullopt);
    s.moveTo(-h + r, -h);
    s.lineTo(h - r, -h);
    s.curveTo(h, -h, h, -h + r);
    s.lineTo(h, h - r);
    s.curveTo(h, h, h - r, h);
    s.lineTo(-h + r, h);
    s.curveTo(-h, h, -h, h - r);
    s.lineTo(-h, -h + r);
    s.curveTo(-h, -h, -h + r, -h);
}

// A blob of petals made of quadratic curves around the origin.
void Flower(ShapeBuilder& s, int petals, int32_t rIn, int32_t rOut, uint16_t fill, uint16_t line) {
    s.style(std::nullopt, fill, line);
    for (int i = 0; i <= petals; ++i) {
        double a = 2 * kPi * i / petals;
        int32_t x = int32_t(std::lround(rIn * std::cos(a))), y = int32_t(std::lround(rIn * std::sin(a)));
        if (i == 0) {
            s.moveTo(x, y);
            continue;
        }
        double am = a - kPi / petals;
        int32_t cx = int32_t(std::lround(rOut * std::cos(am))), cy = int32_t(std::lround(rOut * std::sin(am)));
        if (i == petals) {
            x = rIn;
            y = 0;
        }
        s.curveTo(cx, cy, x, y);
    }
}

uint32_t Lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

}  // namespace

std::vector<uint8_t> BuildBlank(int widthPx, int heightPx, double fps, int frames, bool compress, Color bg) {
    MovieWriter m(widthPx, heightPx, fps);
    m.background(bg);
    for (int i = 0; i < frames; ++i) m.showFrame();
    return m.finish(compress);
}

std::vector<uint8_t> BuildDemo(bool compress) {
    const int W = 800, H = 450, frames = 150;
    MovieWriter m(W, H, 30);
    m.background(Color{16, 20, 48});

    {  // 1: the sky, a vertical linear gradient over the whole stage
        ShapeBuilder s;
        FillSpec f;
        f.kind = FillSpec::Gradient;
        f.gradient.kind = GradientSpec::Linear;
        f.gradient.matrix = GradientSpec::LinearAlong(0, 0, 0, H * kTw);
        f.gradient.stops = {{0, Color{12, 16, 60}}, {140, Color{70, 40, 120}}, {255, Color{230, 120, 90}}};
        s.rect(0, 0, W * kTw, H * kTw, s.addFill(f));
        m.defineShape(1, s, 3);
    }
    {  // 2: the sun, a radial gradient fading out at its rim
        ShapeBuilder s;
        FillSpec f;
        f.kind = FillSpec::Gradient;
        f.gradient.kind = GradientSpec::Radial;
        f.gradient.matrix = GradientSpec::RadialAt(0, 0, 70 * kTw);
        f.gradient.stops = {{0, Color{255, 250, 200, 255}}, {150, Color{255, 180, 60, 255}}, {255, Color{255, 120, 40, 0}}};
        s.ellipse(0, 0, 70 * kTw, 70 * kTw, s.addFill(f));
        m.defineShape(2, s, 3);
    }
    {  // 3: a star with an outline
        ShapeBuilder s;
        uint16_t fill = s.addSolid(Color{255, 210, 40});
        LineSpec l;
        l.width = 4 * kTw;
        l.color = Color{200, 80, 20};
        uint16_t line = s.addLine(l);
        Star(s, 60 * kTw, 25 * kTw, fill, line);
        m.defineShape(3, s, 3);
    }
    {  // 4: a rounded square with a focal gradient
        ShapeBuilder s;
        FillSpec f;
        f.kind = FillSpec::Gradient;
        f.gradient.kind = GradientSpec::Focal;
        f.gradient.focal = 0.6;
        f.gradient.matrix = GradientSpec::RadialAt(0, 0, 55 * kTw);
        f.gradient.stops = {{0, Color{220, 255, 240}}, {255, Color{20, 140, 120}}};
        RoundedSquare(s, 50 * kTw, 14 * kTw, s.addFill(f));
        m.defineShape(4, s, 4);
    }
    {  // 5: a moon for the sprite
        ShapeBuilder s;
        s.ellipse(0, 0, 14 * kTw, 14 * kTw, s.addSolid(Color{200, 230, 255}));
        m.defineShape(5, s, 3);
    }
    {  // 6: the orbit ring: a stroke only
        ShapeBuilder s;
        LineSpec l;
        l.width = 2 * kTw;
        l.color = Color{255, 255, 255, 120};
        uint16_t line = s.addLine(l);
        s.ellipse(0, 0, 45 * kTw, 45 * kTw, 0, line);
        m.defineShape(6, s, 3);
    }
    {  // 7: a bubble, drawn translucent through colour transforms
        ShapeBuilder s;
        uint16_t fill = s.addSolid(Color{150, 210, 255, 140});
        LineSpec l;
        l.width = 1 * kTw;
        l.color = Color{255, 255, 255, 200};
        s.ellipse(0, 0, 18 * kTw, 18 * kTw, fill, s.addLine(l));
        m.defineShape(7, s, 3);
    }
    {  // 10: a sprite with its own 24-frame timeline: a moon circling inside its ring
        TagStream sp;
        Place ring;
        ring.depth = 1;
        ring.id = 6;
        ring.matrix = Matrix{};
        sp.place(ring);
        for (int f = 0; f < 24; ++f) {
            double a = 2 * kPi * f / 24;
            Place moon;
            moon.depth = 2;
            moon.matrix = Matrix::Translate(int32_t(45 * kTw * std::cos(a)), int32_t(45 * kTw * std::sin(a)));
            if (f == 0) moon.id = 5;
            else moon.move = true;
            sp.place(moon);
            sp.showFrame();
        }
        m.defineSprite(10, sp);
    }

    const int bubbles = 8;
    for (int f = 0; f < frames; ++f) {
        double t = double(f) / frames;
        auto put = [&](uint16_t depth, uint16_t id, const Matrix& mx, std::optional<CxForm> cx = std::nullopt) {
            Place p;
            p.depth = depth;
            p.matrix = mx;
            p.cxform = cx;
            if (f == 0) p.id = id;
            else p.move = true;
            m.place(p);
        };
        if (f == 0) {
            Place bg;
            bg.depth = 1;
            bg.id = 1;
            m.place(bg);
        }
        // The sun crosses in an arc.
        double sx = 80 + t * (W - 160), sy = 300 - std::sin(t * kPi) * 220;
        put(2, 2, Matrix::Translate(int32_t(sx * kTw), int32_t(sy * kTw)));
        // Bubbles rise and fade in and out.
        for (int b = 0; b < bubbles; ++b) {
            double phase = std::fmod(t * 2 + b / double(bubbles), 1.0);
            double bx = 60 + b * 95 + 20 * std::sin(phase * 6 * kPi);
            double by = H + 20 - phase * (H + 40);
            double sc = 0.6 + 0.5 * (b % 3) / 2.0;
            CxForm cx;
            cx.am = std::sin(phase * kPi);
            put(uint16_t(3 + b), 7, Matrix::Transform(sc, sc, 0, int32_t(bx * kTw), int32_t(by * kTw)), cx);
        }
        // The star spins along the bottom, the rounded square turns and bounces.
        put(20, 3, Matrix::Transform(1, 1, t * 4 * kPi, int32_t((120 + t * 560) * kTw), int32_t(360 * kTw)));
        double bounce = std::fabs(std::sin(t * 6 * kPi));
        put(21, 4,
            Matrix::Transform(1 + 0.2 * bounce, 1 - 0.2 * bounce, -t * 2 * kPi, int32_t(620 * kTw),
                              int32_t((120 + 80 * bounce) * kTw)));
        // The sprite drifts left to right; its moon circles on its own timeline.
        put(22, 10, Matrix::Transform(1.2, 1.2, 0, int32_t((100 + 500 * t) * kTw), int32_t(110 * kTw)));
        m.showFrame();
    }
    return m.finish(compress);
}

std::vector<uint8_t> BuildFeatures(bool compress) {
    MovieWriter m(200, 150, 12, 8);
    m.background(Color{240, 240, 230});
    // 1: a checker bitmap, 2: a JPEG payload with an alpha plane.
    std::vector<uint32_t> checker;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) checker.push_back(((x + y) & 1) ? 0xFF3060C0u : 0x80FFFFFFu);
    m.defineBitsLossless2(1, 8, 8, checker);
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 0, 0, 0xFF, 0xD9};
    std::vector<uint8_t> alpha(16, 200);
    m.defineBitsJpeg(2, jpeg, &alpha);
    {  // 3: a shape filled with both bitmaps, one repeating, one clipped
        ShapeBuilder s;
        FillSpec a;
        a.kind = FillSpec::Bitmap;
        a.bitmapId = 1;
        a.bitmapMatrix = Matrix{60, 0, 0, 60, 0, 0};
        FillSpec b = a;
        b.bitmapId = 2;
        b.repeat = false;
        b.smooth = false;
        s.rect(0, 0, 60 * kTw, 40 * kTw, s.addFill(a));
        s.rect(70 * kTw, 0, 40 * kTw, 40 * kTw, s.addFill(b));
        m.defineShape(3, s, 3);
    }
    {  // 4: a font of two box glyphs; 5: text in two colours; 6: an edit field with it; 7: device text
        std::vector<GlyphSpec> g(2);
        g[0].code = 'A';
        g[0].shape.rect(100, -900, 800, 800, 1);
        g[1].code = 'B';
        g[1].shape.ellipse(512, -450, 400, 400, 1);
        g[1].advance = 900;
        m.defineFont(4, "Boxes", g);
        TextRunSpec r;
        r.fontId = 4;
        r.color = Color{200, 0, 0};
        r.y = 20 * kTw;
        r.height = 16 * kTw;
        r.glyphs = {{0, 16 * kTw}, {1, 16 * kTw}};
        TextRunSpec r2 = r;
        r2.color = Color{0, 120, 0, 200};
        r2.x = 40 * kTw;
        r2.glyphs = {{1, 16 * kTw}, {0, 16 * kTw}};
        m.defineText(5, {r, r2});
        EditTextSpec e;
        e.xmax = 100 * kTw;
        e.ymax = 25 * kTw;
        e.fontId = 4;
        e.height = 14 * kTw;
        e.text = "<p align=\"center\">AB&amp;BA</p>";
        e.html = true;
        e.align = 2;
        m.defineEditText(6, e);
        EditTextSpec d = e;
        d.fontId.reset();
        d.useOutlines = false;
        d.text = "device";
        d.html = false;
        m.defineEditText(7, d);
    }
    {  // 8: mask circle, 9: red square, 10: morph from a blue square to a green circle
        ShapeBuilder c;
        c.ellipse(0, 0, 30 * kTw, 30 * kTw, c.addSolid(Color{0, 0, 0}));
        m.defineShape(8, c, 1);
        ShapeBuilder sq;
        sq.rect(-40 * kTw, -40 * kTw, 80 * kTw, 80 * kTw, sq.addSolid(Color{220, 30, 30}));
        m.defineShape(9, sq, 1);
        ShapeBuilder b;
        b.ellipse(0, 0, 25 * kTw, 25 * kTw, b.addSolid(Color{0, 200, 0, 128}));
        // The ellipse has eight curves, the square four lines: pad the square.
        ShapeBuilder a8;
        a8.style(std::nullopt, a8.addSolid(Color{0, 0, 255}), std::nullopt);
        a8.moveTo(20 * kTw, 0);
        const int32_t pts[8][2] = {{20, 20}, {0, 20}, {-20, 20}, {-20, 0}, {-20, -20}, {0, -20}, {20, -20}, {20, 0}};
        for (const auto& p : pts) a8.lineTo(p[0] * kTw, p[1] * kTw);
        m.defineMorphShape(10, a8, b);
    }
    {  // 11: a sprite that multiplies its content, with a stop on its last frame
        TagStream sp;
        for (int f = 0; f < 3; ++f) {
            Place p;
            p.depth = 1;
            p.matrix = Matrix::Transform(0.5, 0.5, f * 0.3, 0, 0);
            if (f == 0) p.id = 9;
            else p.move = true;
            sp.place(p);
            if (f == 2) sp.doAction(act::Stop());
            sp.showFrame();
        }
        m.defineSprite(11, sp);
    }
    for (int f = 0; f < 10; ++f) {
        auto put = [&](uint16_t depth, uint16_t id, Matrix mx) {
            Place p;
            p.depth = depth;
            p.matrix = mx;
            if (f == 0) p.id = id;
            else p.move = true;
            return p;
        };
        if (f == 0) {
            m.frameLabel("start");
            m.place(put(1, 3, Matrix::Translate(10 * kTw, 100 * kTw)));
            m.place(put(2, 5, Matrix::Translate(10 * kTw, 10 * kTw)));
            m.place(put(3, 6, Matrix::Translate(90 * kTw, 5 * kTw)));
            m.place(put(4, 7, Matrix::Translate(90 * kTw, 30 * kTw)));
            Place mask = put(10, 8, Matrix::Translate(150 * kTw, 100 * kTw));
            mask.clipDepth = 20;
            m.place(mask);
        }
        Place sq = put(11, 9, Matrix::Transform(1, 1, f * 0.2, 150 * kTw, 100 * kTw));
        m.place(sq);
        Place morph = put(21, 10, Matrix::Translate(60 * kTw, 80 * kTw));
        morph.ratio = uint16_t(f * 65535 / 9);
        m.place(morph);
        Place spr = put(22, 11, Matrix::Translate(100 * kTw, 60 * kTw));
        if (f == 0) spr.blend = 3;
        m.place(spr);
        if (f == 9) m.doAction(act::Concat({act::GotoLabel("start"), act::Stop()}));
        m.showFrame();
    }
    return m.finish(compress);
}

std::vector<uint8_t> BuildHeavy(int shapes, bool compress) {
    const int W = 800, H = 450;
    MovieWriter m(W, H, 30);
    m.background(Color{255, 255, 255});
    uint32_t seed = 12345;
    for (int i = 0; i < shapes; ++i) {
        ShapeBuilder s;
        uint16_t fill;
        Color c{uint8_t(Lcg(seed)), uint8_t(Lcg(seed)), uint8_t(Lcg(seed)), uint8_t(150 + Lcg(seed) % 100)};
        int32_t rOut = int32_t((20 + Lcg(seed) % 100) * kTw), rIn = rOut / 2;
        if (i % 4 == 0) {
            FillSpec f;
            f.kind = FillSpec::Gradient;
            f.gradient.kind = GradientSpec::Radial;
            f.gradient.matrix = GradientSpec::RadialAt(0, 0, rOut);
            f.gradient.stops = {{0, Color{255, 255, 255, c.a}}, {255, c}};
            fill = s.addFill(f);
        } else {
            fill = s.addSolid(c);
        }
        uint16_t line = 0;
        if (i % 3 == 0) {
            LineSpec l;
            l.width = uint16_t((1 + Lcg(seed) % 4) * kTw);
            l.color = Color{0, 0, 0, 200};
            line = s.addLine(l);
        }
        Flower(s, 5 + int(Lcg(seed) % 6), rIn, rOut, fill, line);
        m.defineShape(uint16_t(i + 1), s, 3);
        Place p;
        p.depth = uint16_t(i + 1);
        p.id = uint16_t(i + 1);
        p.matrix = Matrix::Transform(1, 1, (Lcg(seed) % 628) / 100.0, int32_t((Lcg(seed) % W) * kTw),
                                     int32_t((Lcg(seed) % H) * kTw));
        m.place(p);
    }
    m.showFrame();
    return m.finish(compress);
}

}  // namespace swfgen
