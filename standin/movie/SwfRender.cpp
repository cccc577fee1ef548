// Drawing the display list: shapes by fill style, strokes, morphs, text, masks.
#include "SwfPlayer.h"
#include "SwfPlayerImpl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

namespace swfmovie {

namespace {

using raster::Matrix;

constexpr size_t kMaxLayers = 4;
constexpr size_t kMaxMasks = 8;

struct DrawContext {
    using MipCache = std::map<const raster::Bitmap*, std::vector<std::unique_ptr<raster::Bitmap>>>;
    DrawContext(const Movie& m, raster::Rasterizer& rz, const raster::Canvas& c, const raster::IRect& cl,
                std::vector<std::vector<uint8_t>>* p, std::vector<std::vector<uint32_t>>* l, MipCache* mc)
        : movie(m), r(rz), canvas(c), clip(cl), pool(p), layers(l), mips(mc) {}
    const Movie& movie;
    raster::Rasterizer& r;
    raster::Canvas canvas;
    raster::IRect clip;
    double stageScale = 1;       // device pixels per stage pixel
    const uint8_t* mask = nullptr;  // active clip mask (canvas-sized) or null
    uint8_t* maskOut = nullptr;     // drawing a mask: coverage goes here instead
    raster::BlendMode blend = raster::BlendMode::Normal;
    std::vector<std::vector<uint8_t>>* pool;
    size_t poolUsed = 0;
    std::vector<std::vector<uint32_t>>* layers;
    size_t layersUsed = 0;
    MipCache* mips;
    std::vector<uint32_t>* edges = nullptr;  // canvas-sized, all zero between shapes
    std::vector<raster::EdgeSpan>* edgeSpans = nullptr;
    bool inLayer = false;  // drawing a group into its own buffer
    DeviceTextRenderer* deviceText = nullptr;
    const std::atomic<bool>* abort = nullptr;
    bool aborted() const { return abort && abort->load(std::memory_order_relaxed); }
    double tolerance = 0.2;
};

void Pt(const Matrix& m, int32_t x, int32_t y, double& ox, double& oy) { m.apply(x, y, ox, oy); }

bool Culled(const TwipsRect& b, const Matrix& m, const raster::IRect& clip, double margin) {
    if (b.xmin > b.xmax || b.ymin > b.ymax) return false;  // unknown bounds: draw
    double xs[4], ys[4];
    Pt(m, b.xmin, b.ymin, xs[0], ys[0]);
    Pt(m, b.xmax, b.ymin, xs[1], ys[1]);
    Pt(m, b.xmin, b.ymax, xs[2], ys[2]);
    Pt(m, b.xmax, b.ymax, xs[3], ys[3]);
    double x0 = *std::min_element(xs, xs + 4) - margin, x1 = *std::max_element(xs, xs + 4) + margin;
    double y0 = *std::min_element(ys, ys + 4) - margin, y1 = *std::max_element(ys, ys + 4) + margin;
    return x1 < clip.x0 || x0 > clip.x1 || y1 < clip.y0 || y0 > clip.y1;
}

void AddEdges(raster::Rasterizer& r, const std::vector<Edge>& edges, const Matrix& m, double tol) {
    for (const Edge& e : edges) {
        double x0, y0, x1, y1;
        Pt(m, e.x0, e.y0, x0, y0);
        Pt(m, e.x1, e.y1, x1, y1);
        if (e.curved) {
            double cx, cy;
            Pt(m, e.cx, e.cy, cx, cy);
            r.quad(x0, y0, cx, cy, x1, y1, tol);
        } else {
            r.line(x0, y0, x1, y1);
        }
    }
}

// Half the size of b, each pixel the mean of a 2 x 2 block (edges repeated).
std::unique_ptr<raster::Bitmap> Halve(const raster::Bitmap& b) {
    auto out = std::make_unique<raster::Bitmap>();
    out->width = (b.width + 1) / 2;
    out->height = (b.height + 1) / 2;
    out->opaque = b.opaque;
    out->pixels.resize(size_t(out->width) * size_t(out->height));
    for (int y = 0; y < out->height; ++y) {
        const uint32_t* r0 = b.pixels.data() + size_t(std::min(2 * y, b.height - 1)) * size_t(b.width);
        const uint32_t* r1 = b.pixels.data() + size_t(std::min(2 * y + 1, b.height - 1)) * size_t(b.width);
        for (int x = 0; x < out->width; ++x) {
            int x0 = std::min(2 * x, b.width - 1), x1 = std::min(2 * x + 1, b.width - 1);
            uint32_t px = 0;
            for (int sh = 0; sh < 32; sh += 8) {
                uint32_t sum = ((r0[x0] >> sh) & 255) + ((r0[x1] >> sh) & 255) + ((r1[x0] >> sh) & 255) +
                               ((r1[x1] >> sh) & 255);
                px |= ((sum + 2) / 4) << sh;
            }
            out->pixels[size_t(y) * size_t(out->width) + size_t(x)] = px;
        }
    }
    return out;
}

// A bitmap drawn at under half its size would only be sampled here and there and
// shimmer as it moves: a halved copy near the drawn size is sampled instead.
void PickMip(DrawContext& ctx, raster::Paint& p) {
    const raster::Bitmap* base = p.bitmap;
    const Matrix& m = p.matrix;
    double scale = std::min(std::hypot(m.a, m.b), std::hypot(m.c, m.d));  // device pixels per texel
    if (!(scale > 0) || scale > 0.5 || !ctx.mips) return;
    int level = std::min(12, int(std::floor(std::log2(1.0 / scale))));
    auto& chain = (*ctx.mips)[base];
    while (int(chain.size()) < level) {
        const raster::Bitmap& from = chain.empty() ? *base : *chain.back();
        if (from.width <= 1 && from.height <= 1) break;
        chain.push_back(Halve(from));
    }
    if (chain.empty()) return;
    const raster::Bitmap* mip = chain[size_t(std::min<int>(level, int(chain.size())) - 1)].get();
    p.bitmap = mip;
    p.matrix = m * Matrix::Scale(double(base->width) / mip->width, double(base->height) / mip->height);
}

bool MakePaint(DrawContext& ctx, const FillStyle& s, const Matrix& m, raster::Paint& p) {
    switch (s.kind) {
        case FillStyle::Kind::Solid:
            p = raster::Paint::Solid(s.color);
            return true;
        case FillStyle::Kind::Linear:
        case FillStyle::Kind::Radial:
        case FillStyle::Kind::Focal:
            p.type = raster::Paint::Type::Gradient;
            p.gradient = s.kind == FillStyle::Kind::Linear
                             ? raster::GradientKind::Linear
                             : (s.kind == FillStyle::Kind::Radial ? raster::GradientKind::Radial
                                                                  : raster::GradientKind::Focal);
            p.spread = s.spread;
            p.linearRgb = s.linearRgb;
            p.focal = s.focal;
            p.stops = s.stops;
            p.matrix = m * s.matrix;
            return true;
        case FillStyle::Kind::Bitmap: {
            const Character* c = ctx.movie.find(s.bitmapId);
            if (!c || c->kind != Character::Kind::Bitmap) return false;
            const BitmapChar* b = c->as<BitmapChar>();
            if (!b->bitmap) return false;
            p.type = raster::Paint::Type::Bitmap;
            p.bitmap = b->bitmap.get();
            p.repeat = s.repeat;
            p.smooth = s.smooth;
            p.matrix = m * s.matrix;
            if (p.smooth) PickMip(ctx, p);
            return true;
        }
    }
    return false;
}

void Finish(DrawContext& ctx, const raster::Paint& paint, const raster::ColorTransform& cx,
            raster::FillRule rule = raster::FillRule::NonZero) {
    if (ctx.maskOut) {
        ctx.r.fillMask(ctx.maskOut, ctx.canvas.width, ctx.canvas.height, rule, raster::Rasterizer::MaskOp::Max);
        return;
    }
    raster::Composite comp;
    comp.blend = ctx.blend;
    comp.mask = ctx.mask;
    ctx.r.fill(ctx.canvas, paint, cx, rule, comp);
}

double StrokeWidth(const DrawContext& ctx, const LineStyle& ls, const Matrix& m) {
    double scale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    if (ls.noHScale || ls.noVScale) scale = ctx.stageScale / 20.0;
    return ls.width * scale;
}

// Regions of different styles that share an edge: drawn one after the other, the
// edge pixels of both would let what is below show through as a faint seam. Their
// part-coverages add up to the whole pixel, so edge pixels are summed in a buffer
// and laid on once the shape's fills are done; inner pixels go straight on.
void DrawJoinedFills(DrawContext& ctx, const ShapeData& d, const Matrix& m, const raster::ColorTransform& cx,
                     raster::FillRule rule) {
    size_t need = size_t(ctx.canvas.width) * size_t(ctx.canvas.height);
    if (ctx.edges->size() != need) ctx.edges->assign(need, 0);
    raster::Composite comp;
    comp.blend = ctx.blend;
    comp.mask = ctx.mask;
    comp.edgeBuffer = ctx.edges->data();
    comp.edgeSpans = ctx.edgeSpans;
    for (size_t i = 0; i < d.fills.size() && i < d.fillStyles.size(); ++i) {
        if (d.fills[i].empty() || ctx.aborted()) continue;
        raster::Paint paint;
        if (!MakePaint(ctx, d.fillStyles[i], m, paint)) continue;
        ctx.r.reset(ctx.clip);
        AddEdges(ctx.r, d.fills[i], m, ctx.tolerance);
        ctx.r.fill(ctx.canvas, paint, cx, rule, comp);
    }
    raster::FlushEdges(ctx.canvas, ctx.edges->data(), *ctx.edgeSpans, ctx.blend, ctx.mask);
}

void DrawShapeData(DrawContext& ctx, const ShapeData& d, const Matrix& m, const raster::ColorTransform& cx) {
    const raster::FillRule rule = d.evenOdd ? raster::FillRule::EvenOdd : raster::FillRule::NonZero;
    const bool joined = d.sharedEdges && !ctx.maskOut;
    if (joined) DrawJoinedFills(ctx, d, m, cx, rule);
    for (size_t i = 0; i < d.fills.size() && i < d.fillStyles.size() && !joined; ++i) {
        if (d.fills[i].empty() || ctx.aborted()) continue;
        raster::Paint paint;
        if (!MakePaint(ctx, d.fillStyles[i], m, paint)) continue;
        ctx.r.reset(ctx.clip);
        AddEdges(ctx.r, d.fills[i], m, ctx.tolerance);
        Finish(ctx, paint, cx, rule);
    }
    if (d.strokes.empty()) return;
    raster::Polyline pl;
    for (const StrokePath& sp : d.strokes) {
        if (sp.lineStyle >= d.lineStyles.size() || sp.edges.empty() || ctx.aborted()) continue;
        const LineStyle& ls = d.lineStyles[sp.lineStyle];
        raster::StrokeStyle st;
        st.width = StrokeWidth(ctx, ls, m);
        st.startCap = ls.startCap;
        st.endCap = ls.endCap;
        st.join = ls.join;
        st.miterLimit = std::max(1.0f, ls.miterLimit);
        ctx.r.reset(ctx.clip);
        int32_t firstX = 0, firstY = 0, lastX = 0, lastY = 0;
        auto flush = [&]() {
            if (pl.xy.size() >= 4) {
                pl.closed = !ls.noClose && firstX == lastX && firstY == lastY;
                raster::StrokePolyline(ctx.r, pl, st);
            }
            pl.xy.clear();
        };
        for (const Edge& e : sp.edges) {
            if (pl.xy.empty() || e.x0 != lastX || e.y0 != lastY) {
                flush();
                double x, y;
                Pt(m, e.x0, e.y0, x, y);
                pl.xy.push_back(x);
                pl.xy.push_back(y);
                firstX = e.x0;
                firstY = e.y0;
            }
            double x0 = pl.xy[pl.xy.size() - 2], y0 = pl.xy[pl.xy.size() - 1], x1, y1;
            Pt(m, e.x1, e.y1, x1, y1);
            if (e.curved) {
                double qx, qy;
                Pt(m, e.cx, e.cy, qx, qy);
                raster::FlattenQuad(x0, y0, qx, qy, x1, y1, ctx.tolerance, pl.xy);
            } else {
                pl.xy.push_back(x1);
                pl.xy.push_back(y1);
            }
            lastX = e.x1;
            lastY = e.y1;
        }
        flush();
        // A line style may carry a fill of its own (gradient or bitmap strokes).
        raster::Paint paint = raster::Paint::Solid(ls.color);
        if (ls.fill && !MakePaint(ctx, *ls.fill, m, paint)) paint = raster::Paint::Solid(ls.color);
        Finish(ctx, paint, cx);
    }
}

// ---------------------------------------------------------------------------
// Morphs

uint8_t Lerp8(uint8_t a, uint8_t b, double t) { return uint8_t(std::lround(a + (b - a) * t)); }
raster::Rgba LerpColor(raster::Rgba a, raster::Rgba b, double t) {
    return raster::Rgba{Lerp8(a.r, b.r, t), Lerp8(a.g, b.g, t), Lerp8(a.b, b.b, t), Lerp8(a.a, b.a, t)};
}
int32_t LerpI(int32_t a, int32_t b, double t) { return int32_t(std::lround(a + (double(b) - a) * t)); }
Edge LerpEdge(const Edge& a, const Edge& b, double t) {
    return Edge{LerpI(a.x0, b.x0, t), LerpI(a.y0, b.y0, t), LerpI(a.cx, b.cx, t), LerpI(a.cy, b.cy, t),
                LerpI(a.x1, b.x1, t), LerpI(a.y1, b.y1, t), a.curved || b.curved};
}
Matrix LerpMatrix(const Matrix& a, const Matrix& b, double t) {
    return Matrix{a.a + (b.a - a.a) * t, a.b + (b.b - a.b) * t, a.c + (b.c - a.c) * t,
                  a.d + (b.d - a.d) * t, a.tx + (b.tx - a.tx) * t, a.ty + (b.ty - a.ty) * t};
}

void LerpShape(const MorphShape& ms, double t, ShapeData& out) {
    const ShapeData &a = ms.start, &b = ms.end;
    out = a;
    for (size_t i = 0; i < out.fillStyles.size() && i < b.fillStyles.size(); ++i) {
        FillStyle& f = out.fillStyles[i];
        const FillStyle& e = b.fillStyles[i];
        f.color = LerpColor(f.color, e.color, t);
        f.matrix = LerpMatrix(f.matrix, e.matrix, t);
        for (size_t k = 0; k < f.stops.size() && k < e.stops.size(); ++k) {
            f.stops[k].ratio = Lerp8(f.stops[k].ratio, e.stops[k].ratio, t);
            f.stops[k].color = LerpColor(f.stops[k].color, e.stops[k].color, t);
        }
    }
    for (size_t i = 0; i < out.lineStyles.size() && i < b.lineStyles.size(); ++i) {
        LineStyle& l = out.lineStyles[i];
        l.width = uint16_t(LerpI(l.width, b.lineStyles[i].width, t));
        l.color = LerpColor(l.color, b.lineStyles[i].color, t);
    }
    for (size_t i = 0; i < out.fills.size() && i < b.fills.size(); ++i)
        for (size_t k = 0; k < out.fills[i].size() && k < b.fills[i].size(); ++k)
            out.fills[i][k] = LerpEdge(a.fills[i][k], b.fills[i][k], t);
    for (size_t i = 0; i < out.strokes.size() && i < b.strokes.size(); ++i)
        for (size_t k = 0; k < out.strokes[i].edges.size() && k < b.strokes[i].edges.size(); ++k)
            out.strokes[i].edges[k] = LerpEdge(a.strokes[i].edges[k], b.strokes[i].edges[k], t);
    out.bounds.xmin = std::min(ms.startBounds.xmin, ms.endBounds.xmin);
    out.bounds.ymin = std::min(ms.startBounds.ymin, ms.endBounds.ymin);
    out.bounds.xmax = std::max(ms.startBounds.xmax, ms.endBounds.xmax);
    out.bounds.ymax = std::max(ms.startBounds.ymax, ms.endBounds.ymax);
}

// ---------------------------------------------------------------------------
// Text

const Font* FindFont(const Movie& movie, uint16_t id) {
    const Character* c = movie.find(id);
    return c && c->kind == Character::Kind::Font ? c->as<Font>() : nullptr;
}

void DrawGlyphRun(DrawContext& ctx, const Font& font, const std::vector<std::pair<uint32_t, double>>& glyphs,
                  double baseY, double height, const Matrix& m, raster::Rgba color,
                  const raster::ColorTransform& cx) {
    double scale = height / font.emSquare;
    ctx.r.reset(ctx.clip);
    for (const auto& [index, x] : glyphs) {
        if (index >= font.glyphs.size()) continue;
        const ShapeData& g = font.glyphs[index].shape;
        Matrix gm = m * Matrix{scale, 0, 0, scale, x, baseY};
        for (const auto& fill : g.fills) AddEdges(ctx.r, fill, gm, ctx.tolerance);
    }
    Finish(ctx, raster::Paint::Solid(color), cx);
}

void DrawText(DrawContext& ctx, const Text& t, const Matrix& m, const raster::ColorTransform& cx) {
    Matrix tm = m * t.matrix;
    std::vector<std::pair<uint32_t, double>> glyphs;
    for (const TextRun& run : t.runs) {
        const Font* font = FindFont(ctx.movie, run.fontId);
        if (!font || run.glyphs.empty()) continue;
        glyphs.clear();
        double x = run.x;
        for (size_t k = 0; k < run.glyphs.size(); ++k) {
            glyphs.emplace_back(run.glyphs[k], x);
            x += run.advances[k];
        }
        DrawGlyphRun(ctx, *font, glyphs, run.y, run.height, tm, run.color, cx);
    }
}

std::string PlainText(const EditText& e) {
    if (!e.html) return e.initialText;
    // Tags dropped, paragraph and line breaks kept, the common entities decoded.
    std::string out;
    const std::string& s = e.initialText;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '<') {
            size_t end = s.find('>', i);
            if (end == std::string::npos) break;
            std::string tag = s.substr(i + 1, end - i - 1);
            for (char& c : tag) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (tag == "br" || tag == "br/" || tag == "/p") out += '\n';
            i = end;
        } else if (s[i] == '&') {
            static const std::pair<const char*, char> ents[] = {
                {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&nbsp;", ' '}};
            bool done = false;
            for (const auto& [name, ch] : ents) {
                size_t n = std::char_traits<char>::length(name);
                if (s.compare(i, n, name) == 0) {
                    out += ch;
                    i += n - 1;
                    done = true;
                    break;
                }
            }
            if (!done) out += '&';
        } else {
            out += s[i];
        }
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// UTF-8 to code points; bad bytes become themselves.
std::vector<uint32_t> CodePoints(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (n == 1 || i + size_t(n) > s.size()) {
            out.push_back(c);
            ++i;
            continue;
        }
        uint32_t v = c & (0x7F >> n);
        for (int k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + size_t(k)]) & 0x3F);
        out.push_back(v);
        i += size_t(n);
    }
    return out;
}

void DrawEditText(DrawContext& ctx, const EditText& e, const Matrix& m, const raster::ColorTransform& cx) {
    const Font* font = e.hasFont ? FindFont(ctx.movie, e.fontId) : nullptr;
    if (!font || font->glyphs.empty() || !e.useOutlines) {
        // Device text: the system draws it. Masks and clipping to a layer do not apply.
        if (!ctx.deviceText || ctx.maskOut || ctx.inLayer) return;
        DeviceTextRenderer::Request req;
        req.text = PlainText(e);
        if (font) {
            req.fontName = font->name;
            req.bold = font->bold;
            req.italic = font->italic;
        }
        req.heightPx = e.fontHeight * std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
        req.color = cx.apply(e.color);
        req.align = e.align;
        req.matrix = m;
        req.bounds = e.bounds;
        req.clip = ctx.clip;
        ctx.deviceText->draw(ctx.canvas, req);
        return;
    }
    std::unordered_map<uint32_t, uint32_t> index;
    for (size_t i = 0; i < font->codes.size(); ++i) index.emplace(font->codes[i], uint32_t(i));
    const double h = e.fontHeight, scale = h / font->emSquare;
    const double ascent = font->ascent ? font->ascent * scale : h * 0.8;
    const double descent = font->descent ? font->descent * scale : h * 0.2;
    const double lineH = ascent + descent + e.leading;
    const double left = e.bounds.xmin + 40 + e.leftMargin, right = e.bounds.xmax - 40 - e.rightMargin;
    double y = e.bounds.ymin + 40 + ascent;
    std::vector<uint32_t> cps = CodePoints(PlainText(e));
    std::vector<std::pair<uint32_t, double>> line;
    double x = left + e.indent;
    auto flush = [&]() {
        double width = x - left;
        double shift = e.align == 1 ? (right - left) - width : (e.align == 2 ? ((right - left) - width) / 2 : 0);
        for (auto& g : line) g.second += shift;
        DrawGlyphRun(ctx, *font, line, y, h, m, e.color, cx);
        line.clear();
        x = left;
        y += lineH;
    };
    // Word wrap breaks after the last space that fits.
    size_t breakAt = SIZE_MAX;
    double xAtSpace = 0, xAfterSpace = 0;
    for (uint32_t cp : cps) {
        if (cp == '\r' || cp == '\n') {
            flush();
            breakAt = SIZE_MAX;
            continue;
        }
        auto it = index.find(cp);
        double adv = h * 0.5;
        if (it != index.end() && it->second < font->advances.size()) adv = font->advances[it->second] * scale;
        if (e.wordWrap && cp != ' ' && x + adv > right && breakAt != SIZE_MAX) {
            std::vector<std::pair<uint32_t, double>> carried(line.begin() + long(breakAt), line.end());
            line.resize(breakAt);
            double end = x;
            x = xAtSpace;
            flush();
            for (auto& g : carried) g.second += left - xAfterSpace;
            line = std::move(carried);
            x = end + left - xAfterSpace;
            breakAt = SIZE_MAX;
        }
        if (cp == ' ') {
            breakAt = line.size();
            xAtSpace = x;
            xAfterSpace = x + adv;
        }
        if (it != index.end()) line.emplace_back(it->second, x);
        x += adv;
        if (y - ascent > e.bounds.ymax) break;
    }
    flush();
}

// ---------------------------------------------------------------------------
// Display lists

void DrawList(DrawContext& ctx, const TimelineState& ts, const Matrix& m, const raster::ColorTransform& cx);

// A sprite with a blend mode: its children are drawn into a transparent buffer,
// which is then blended onto what is below as one picture.
void DrawLayer(DrawContext& ctx, const TimelineState& ts, const Matrix& m, const raster::ColorTransform& cx,
               raster::BlendMode mode) {
    auto& pool = *ctx.layers;
    size_t need = size_t(ctx.canvas.width) * size_t(ctx.canvas.height);
    if (ctx.layersUsed == pool.size()) pool.emplace_back();
    std::vector<uint32_t>& buf = pool[ctx.layersUsed];
    if (buf.size() != need) buf.assign(need, 0);
    for (int y = ctx.clip.y0; y < ctx.clip.y1; ++y)
        std::fill(buf.begin() + long(size_t(y) * ctx.canvas.width + ctx.clip.x0),
                  buf.begin() + long(size_t(y) * ctx.canvas.width + ctx.clip.x1), 0u);
    raster::Canvas layer{buf.data(), ctx.canvas.width, ctx.canvas.height, ctx.canvas.width};
    DrawContext sub = ctx;
    sub.canvas = layer;
    sub.mask = nullptr;
    sub.blend = raster::BlendMode::Normal;
    sub.inLayer = true;
    sub.layersUsed = ctx.layersUsed + 1;
    DrawList(sub, ts, m, cx);
    raster::CompositeLayer(ctx.canvas, layer, ctx.clip, mode, ctx.mask);
}

void DrawInstance(DrawContext& ctx, const Instance& inst, const Matrix& pm, const raster::ColorTransform& pcx) {
    if (!inst.visible || !inst.character) return;
    Matrix m = pm * inst.matrix;
    raster::ColorTransform cx = pcx * inst.cxform;
    if (!ctx.maskOut && cx.invisible()) return;
    const Character& ch = *inst.character;
    const raster::BlendMode mode = inst.blend;
    // Alpha and erase act on the group they are drawn into; outside one they have
    // nothing to act on.
    if ((mode == raster::BlendMode::Alpha || mode == raster::BlendMode::Erase) && !ctx.inLayer && !ctx.maskOut) return;
    // Each group and mask holds a canvas-sized buffer: past a few levels (only
    // hostile movies go there) groups are drawn straight and masks stop cutting.
    if (ch.kind == Character::Kind::Sprite && mode != raster::BlendMode::Normal && !ctx.maskOut &&
        ctx.layersUsed < kMaxLayers) {
        if (inst.sprite) DrawLayer(ctx, *inst.sprite, m, cx, mode);
        return;
    }
    raster::BlendMode savedBlend = ctx.blend;
    if (mode != raster::BlendMode::Normal && mode != raster::BlendMode::Layer) ctx.blend = mode;
    switch (ch.kind) {
        case Character::Kind::Shape: {
            const ShapeData& d = ch.as<Shape>()->data;
            if (!Culled(d.bounds, m, ctx.clip, 2)) DrawShapeData(ctx, d, m, cx);
            break;
        }
        case Character::Kind::Morph: {
            ShapeData d;
            LerpShape(*ch.as<MorphShape>(), inst.ratio / 65535.0, d);
            if (!Culled(d.bounds, m, ctx.clip, 2)) DrawShapeData(ctx, d, m, cx);
            break;
        }
        case Character::Kind::Sprite:
            if (inst.sprite) DrawList(ctx, *inst.sprite, m, cx);
            break;
        case Character::Kind::Text: {
            const Text& t = *ch.as<Text>();
            if (!Culled(t.bounds, m, ctx.clip, 2)) DrawText(ctx, t, m, cx);
            break;
        }
        case Character::Kind::EditText: {
            const EditText& e = *ch.as<EditText>();
            if (!Culled(e.bounds, m, ctx.clip, 2)) DrawEditText(ctx, e, m, cx);
            break;
        }
        case Character::Kind::Bitmap: {
            const BitmapChar& b = *ch.as<BitmapChar>();
            if (!b.bitmap) break;
            // A bitmap placed on its own: a rectangle at one twip per 1/20 pixel.
            ShapeData d;
            FillStyle f;
            f.kind = FillStyle::Kind::Bitmap;
            f.bitmapId = b.id;
            f.repeat = false;
            f.matrix = Matrix::Scale(20, 20);
            d.fillStyles.push_back(f);
            int32_t w = b.bitmap->width * 20, h = b.bitmap->height * 20;
            d.fills.push_back({Edge{0, 0, 0, 0, w, 0, false}, Edge{w, 0, 0, 0, w, h, false},
                               Edge{w, h, 0, 0, 0, h, false}, Edge{0, h, 0, 0, 0, 0, false}});
            d.bounds = TwipsRect{0, w, 0, h};
            DrawShapeData(ctx, d, m, cx);
            break;
        }
        case Character::Kind::Font:
            break;
    }
    ctx.blend = savedBlend;
}

uint8_t* AcquireMask(DrawContext& ctx) {
    auto& pool = *ctx.pool;
    size_t need = size_t(ctx.canvas.width) * size_t(ctx.canvas.height);
    if (ctx.poolUsed == pool.size()) pool.emplace_back();
    std::vector<uint8_t>& buf = pool[ctx.poolUsed++];
    if (buf.size() != need) buf.assign(need, 0);
    for (int y = ctx.clip.y0; y < ctx.clip.y1; ++y)
        std::fill(buf.begin() + long(size_t(y) * ctx.canvas.width + ctx.clip.x0),
                  buf.begin() + long(size_t(y) * ctx.canvas.width + ctx.clip.x1), 0);
    return buf.data();
}

void DrawList(DrawContext& ctx, const TimelineState& ts, const Matrix& m, const raster::ColorTransform& cx) {
    struct Active {
        uint16_t clipDepth;
        const uint8_t* outer;
    };
    std::vector<Active> masks;
    const size_t poolMark = ctx.poolUsed;
    auto popMask = [&]() {
        ctx.mask = masks.back().outer;
        masks.pop_back();
        --ctx.poolUsed;
    };
    for (const auto& kv : ts.list) {
        if (ctx.aborted()) break;
        const Instance& inst = kv.second;
        while (!masks.empty() && inst.depth > masks.back().clipDepth) popMask();
        if (inst.clipDepth) {
            // A mask inside a mask's own content adds nothing.
            if (ctx.maskOut || ctx.poolUsed >= kMaxMasks) continue;
            uint8_t* buf = AcquireMask(ctx);
            uint8_t* savedOut = ctx.maskOut;
            ctx.maskOut = buf;
            DrawInstance(ctx, inst, m, cx);
            ctx.maskOut = savedOut;
            if (ctx.mask) {
                // Nested masks: the inner one is cut by the outer.
                for (int y = ctx.clip.y0; y < ctx.clip.y1; ++y) {
                    size_t o = size_t(y) * ctx.canvas.width;
                    for (int x = ctx.clip.x0; x < ctx.clip.x1; ++x)
                        buf[o + x] = uint8_t((buf[o + x] * ctx.mask[o + x] + 127) / 255);
                }
            }
            masks.push_back(Active{inst.clipDepth, ctx.mask});
            ctx.mask = buf;
            continue;
        }
        DrawInstance(ctx, inst, m, cx);
    }
    while (!masks.empty()) popMask();
    ctx.poolUsed = poolMark;
}

}  // namespace

void Player::Impl::render(const raster::Canvas& canvas, const raster::IRect& viewport) {
    raster::IRect vp = viewport;
    vp.x0 = std::max(vp.x0, 0);
    vp.y0 = std::max(vp.y0, 0);
    vp.x1 = std::min(vp.x1, canvas.width);
    vp.y1 = std::min(vp.y1, canvas.height);
    if (vp.empty() || !canvas.pixels) return;
    raster::Rgba bg = bgOverride ? *bgOverride : movie->background;
    raster::FillRect(canvas, vp, raster::PackBgrx(bg.r, bg.g, bg.b));
    const TwipsRect& stage = movie->info.frameRect;
    if (stage.width() <= 0 || stage.height() <= 0) return;
    Matrix m = Player::StageToViewport(stage, viewport);
    double sx0, sy0, sx1, sy1;
    m.apply(stage.xmin, stage.ymin, sx0, sy0);
    m.apply(stage.xmax, stage.ymax, sx1, sy1);
    raster::IRect clip{std::max(vp.x0, int(std::floor(sx0 + 1e-6))), std::max(vp.y0, int(std::floor(sy0 + 1e-6))),
                       std::min(vp.x1, int(std::ceil(sx1 - 1e-6))), std::min(vp.y1, int(std::ceil(sy1 - 1e-6)))};
    if (clip.empty()) return;
    DrawContext ctx(*movie, rasterizer, canvas, clip, &maskPool, &layerPool, &mips);
    ctx.edges = &edgeBuffer;
    ctx.edgeSpans = &edgeSpans;
    ctx.deviceText = deviceText;
    ctx.abort = abort;
    ctx.stageScale = m.a * 20.0;
    DrawList(ctx, root, m, raster::ColorTransform{});
}

}  // namespace swfmovie
