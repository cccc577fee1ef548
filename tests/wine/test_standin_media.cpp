// Bitmaps from JPEG and PNG data, decoded by the system's imaging component,
// and edit fields drawn in a system font, shown by the stand-in control. The
// control comes from the registered swfstandin.dll; the decoder is also
// called in-process.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "OleHost.h"
#include "Raster.h"
#include "ScopedWin.h"
#include "Standin.h"
#include "SwfWriter.h"
#include "WicDecoder.h"
#include "check.h"
#include "driver.h"
#include "test_standin_support.h"

using namespace standin_test;

namespace {

// Encodes straight 0xAARRGGBB pixels with the system's encoder of `container`
// (JPEG at its best quality, without alpha; PNG with it).
std::vector<std::uint8_t> Encode(const GUID& container, int w, int h, const std::vector<std::uint32_t>& argb) {
    fw::ComPtr<IWICImagingFactory> factory;
    REQUIRE(SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWICImagingFactory, factory.receive_void())));
    fw::ComPtr<IStream> stream;
    REQUIRE(SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive())));
    fw::ComPtr<IWICBitmapEncoder> encoder;
    REQUIRE(SUCCEEDED(factory->CreateEncoder(container, nullptr, encoder.receive())));
    REQUIRE(SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)));
    fw::ComPtr<IWICBitmapFrameEncode> frame;
    fw::ComPtr<IPropertyBag2> props;
    REQUIRE(SUCCEEDED(encoder->CreateNewFrame(frame.receive(), props.receive())));
    const bool jpeg = IsEqualGUID(container, GUID_ContainerFormatJpeg);
    if (jpeg && props) {
        PROPBAG2 opt = {};
        opt.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT v;
        ::VariantInit(&v);
        v.vt = VT_R4;
        v.fltVal = 1.0f;
        props->Write(1, &opt, &v);  // an encoder without the option keeps its default
    }
    REQUIRE(SUCCEEDED(frame->Initialize(props.get())));
    REQUIRE(SUCCEEDED(frame->SetSize(UINT(w), UINT(h))));
    WICPixelFormatGUID format = jpeg ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
    const WICPixelFormatGUID wanted = format;
    REQUIRE(SUCCEEDED(frame->SetPixelFormat(&format)));
    REQUIRE(IsEqualGUID(format, wanted));
    const int bpp = jpeg ? 3 : 4;
    const UINT stride = UINT((w * bpp + 3) & ~3);
    std::vector<BYTE> rows(std::size_t(stride) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = argb[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            BYTE* d = &rows[std::size_t(y) * stride + std::size_t(x) * std::size_t(bpp)];
            d[0] = BYTE(p);
            d[1] = BYTE(p >> 8);
            d[2] = BYTE(p >> 16);
            if (!jpeg) d[3] = BYTE(p >> 24);
        }
    }
    REQUIRE(SUCCEEDED(frame->WritePixels(UINT(h), stride, UINT(rows.size()), rows.data())));
    REQUIRE(SUCCEEDED(frame->Commit()));
    REQUIRE(SUCCEEDED(encoder->Commit()));
    HGLOBAL mem = nullptr;
    REQUIRE(SUCCEEDED(::GetHGlobalFromStream(stream.get(), &mem)));
    STATSTG st = {};
    REQUIRE(SUCCEEDED(stream->Stat(&st, STATFLAG_NONAME)));
    const auto* bytes = static_cast<const std::uint8_t*>(::GlobalLock(mem));
    REQUIRE(bytes != nullptr);
    std::vector<std::uint8_t> out(bytes, bytes + std::size_t(st.cbSize.QuadPart));
    ::GlobalUnlock(mem);
    return out;
}

std::uint32_t Argb(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (std::uint32_t(a) << 24) | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
}

// Whether two 0x..RRGGBB colours are within `tol` in every channel.
bool Near(std::uint32_t a, std::uint32_t b, int tol) {
    for (int sh : {0, 8, 16}) {
        if (std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)) > tol) return false;
    }
    return true;
}
bool NearArgb(std::uint32_t a, std::uint32_t b, int tol) {
    return Near(a, b, tol) && std::abs(int(a >> 24) - int(b >> 24)) <= tol;
}

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

// A 64 x 64 image of four 32 x 32 blocks: red, green / blue, yellow.
constexpr int kQuad = 64;
const std::uint32_t kQuadColors[4] = {0xDC1E1E, 0x1EC828, 0x1E28D2, 0xF0DC14};
std::vector<std::uint32_t> QuadPixels() {
    std::vector<std::uint32_t> px(kQuad * kQuad);
    for (int y = 0; y < kQuad; ++y)
        for (int x = 0; x < kQuad; ++x)
            px[std::size_t(y * kQuad + x)] = 0xFF000000u | kQuadColors[(y / 32) * 2 + x / 32];
    return px;
}

// JPEG colours come back within this of what was encoded.
constexpr int kJpegTol = 24;

}  // namespace

TEST_CASE(decoder_reads_jpeg_and_png_from_memory_on_any_thread) {
    fw::ScopedCom com;
    // PNG keeps alpha: the decoder hands it over premultiplied.
    std::vector<std::uint32_t> translucent(16 * 8, Argb(128, 200, 100, 50));
    for (int i = 0; i < 8; ++i) translucent[std::size_t(i)] = Argb(255, 10, 20, 30);
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
        int w, h;
        struct Probe {
            int x, y;
            std::uint32_t argb;  // premultiplied
        };
        std::vector<Probe> probes;
        int tol;
        bool opaque;
    };
    const std::vector<std::uint32_t> quad = QuadPixels();
    const Row rows[] = {
        {"jpeg",
         Encode(GUID_ContainerFormatJpeg, kQuad, kQuad, quad),
         kQuad,
         kQuad,
         {{12, 12, 0xFF000000u | kQuadColors[0]},
          {52, 12, 0xFF000000u | kQuadColors[1]},
          {12, 52, 0xFF000000u | kQuadColors[2]},
          {52, 52, 0xFF000000u | kQuadColors[3]}},
         kJpegTol,
         true},
        {"png with alpha",
         Encode(GUID_ContainerFormatPng, 16, 8, translucent),
         16,
         8,
         {{3, 0, Argb(255, 10, 20, 30)}, {5, 4, Argb(128, 100, 50, 25)}},
         1,
         false},
    };
    standin::WicDecoder decoder;
    for (const Row& r : rows) {
        // The window's thread has COM; the drawing worker does not.
        for (bool worker : {false, true}) {
            const std::string name = std::string(r.name) + (worker ? " on a thread without COM" : "");
            raster::Bitmap b;
            bool ok = false;
            if (worker)
                std::thread([&] { ok = decoder.decode(r.data.data(), r.data.size(), b); }).join();
            else
                ok = decoder.decode(r.data.data(), r.data.size(), b);
            CHECK_EQ_AT(name, ok, true);
            if (!ok) continue;
            CHECK_EQ_AT(name, b.width, r.w);
            CHECK_EQ_AT(name, b.height, r.h);
            CHECK_EQ_AT(name, b.pixels.size(), std::size_t(r.w) * std::size_t(r.h));
            CHECK_EQ_AT(name, b.opaque, r.opaque);
            for (const auto& p : r.probes) {
                const std::uint32_t got = b.pixels[std::size_t(p.y) * std::size_t(r.w) + std::size_t(p.x)];
                CHECK_EQ_AT(name + " at " + std::to_string(p.x) + "," + std::to_string(p.y) + ": " + Hex(got) +
                                " vs " + Hex(p.argb),
                            NearArgb(got, p.argb, r.tol), true);
            }
        }
    }
}

TEST_CASE(decoder_refuses_what_is_not_an_image_and_leaves_the_bitmap_alone) {
    fw::ScopedCom com;
    const std::vector<std::uint8_t> jpeg = Encode(GUID_ContainerFormatJpeg, kQuad, kQuad, QuadPixels());
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
    };
    const Row rows[] = {
        {"empty", {}},
        {"text", std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"jpeg marker only", std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}},
        {"jpeg's header alone", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 20)},
    };
    // Pixel limit: the image is refused before its pixels are read.
    standin::WicDecoder small(std::size_t(kQuad) * kQuad - 1);
    raster::Bitmap b;
    b.width = 7;
    CHECK_EQ(small.decode(jpeg.data(), jpeg.size(), b), false);
    CHECK_EQ(b.width, 7);
    standin::WicDecoder decoder;
    for (const Row& r : rows) {
        CHECK_EQ_AT(r.name, decoder.decode(r.data.data(), r.data.size(), b), false);
        CHECK_EQ_AT(r.name, b.width, 7);
    }
}

namespace {

// The control fills this part of the screen; the stage is the same size, so
// stage pixels are control pixels.
const RECT kArea = Rect(100, 100, 400, 200);
std::uint32_t At(const drv::Screenshot& s, int x, int y) { return s.At(kArea.left + x, kArea.top + y); }

// Shows `movie` (its own white background) on its first frame and takes the
// screen once `ready` holds for it, or after three seconds.
template <typename Ready>
drv::Screenshot Show(const std::string& file, const std::vector<std::uint8_t>& movie, Ready ready) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kArea);
    c.SetStringProperty(standin::kDispMovie, Wide(WriteWorkFile(file, movie)));
    drv::Screenshot s;
    drv::WaitUntil([&] {
        s = drv::CaptureScreen();
        return ready(s);
    }, 3000);
    drv::SaveBmp(s, drv::WorkDir() + "\\" + file + ".bmp");
    return s;
}

// A rectangle of stage pixels filled with bitmap `id` one to one, not repeated.
void PlaceBitmap(swfgen::MovieWriter& m, std::uint16_t id, int x, int y, int w, int h) {
    swfgen::ShapeBuilder s;
    swfgen::FillSpec f;
    f.kind = swfgen::FillSpec::Bitmap;
    f.bitmapId = id;
    f.bitmapMatrix = swfgen::Matrix{20, 0, 0, 20, x * 20, y * 20};
    f.repeat = false;
    f.smooth = false;
    s.rect(x * 20, y * 20, w * 20, h * 20, s.addFill(f));
    const std::uint16_t shapeId = std::uint16_t(id + 100);
    m.defineShape(shapeId, s, 3);
    swfgen::Place p;
    p.depth = id;
    p.id = shapeId;
    m.place(p);
}

}  // namespace

TEST_CASE(jpeg_bitmaps_show_their_colours_and_their_alpha_plane) {
    fw::ScopedCom com;
    swfgen::MovieWriter m(400, 200, 10, 8);
    m.background(swfgen::Color{255, 255, 255, 255});
    // DefineBitsJPEG2: the four blocks at (40, 40).
    m.defineBitsJpeg(1, Encode(GUID_ContainerFormatJpeg, kQuad, kQuad, QuadPixels()));
    PlaceBitmap(m, 1, 40, 40, kQuad, kQuad);
    // DefineBitsJPEG3: one colour at (200, 40), its alpha plane in three bands
    // (opaque, half, clear) over the white stage.
    const std::uint32_t blue = 0x1428C8;
    std::vector<std::uint8_t> alpha(64 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) alpha[std::size_t(y * 64 + x)] = x < 16 ? 255 : (x < 32 ? 128 : 0);
    std::vector<std::uint8_t> blueJpeg =
        Encode(GUID_ContainerFormatJpeg, 64, 32, std::vector<std::uint32_t>(64 * 32, 0xFF000000u | blue));
    m.defineBitsJpeg(2, blueJpeg, &alpha);
    PlaceBitmap(m, 2, 200, 40, 64, 32);
    m.showFrame();

    auto over = [](std::uint32_t c, int a) {
        std::uint32_t out = 0;
        for (int sh : {0, 8, 16}) out |= std::uint32_t((int((c >> sh) & 255) * a + 255 * (255 - a) + 127) / 255) << sh;
        return out;
    };
    struct Point {
        const char* what;
        int x, y;
        std::uint32_t color;
    };
    const Point points[] = {
        {"red block", 40 + 12, 40 + 12, kQuadColors[0]},
        {"green block", 40 + 52, 40 + 12, kQuadColors[1]},
        {"blue block", 40 + 12, 40 + 52, kQuadColors[2]},
        {"yellow block", 40 + 52, 40 + 52, kQuadColors[3]},
        {"left of the blocks", 30, 70, 0xFFFFFF},
        {"below the blocks", 70, 40 + kQuad + 10, 0xFFFFFF},
        {"opaque band", 200 + 8, 56, blue},
        {"half band", 200 + 24, 56, over(blue, 128)},
        {"clear band", 200 + 48, 56, 0xFFFFFF},
        {"below the bands", 230, 80, 0xFFFFFF},
    };
    auto all = [&](const drv::Screenshot& s) {
        for (const Point& p : points)
            if (!Near(At(s, p.x, p.y), p.color, kJpegTol)) return false;
        return true;
    };
    drv::Screenshot s = Show("jpeg.swf", m.finish(true), all);
    for (const Point& p : points)
        CHECK_EQ_AT(std::string(p.what) + ": " + Hex(At(s, p.x, p.y)) + " vs " + Hex(p.color),
                    Near(At(s, p.x, p.y), p.color, kJpegTol), true);
}

namespace {

// Where a field's text landed: pixels off the white stage inside and
// outside the field, and the rows the ink spans.
struct Ink {
    int inside = 0, outside = 0, top = -1, bottom = -1;
    bool inColour = false;  // some pixel close to the text's own colour
};
Ink FindInk(const drv::Screenshot& s, const RECT& field, std::uint32_t colour) {
    Ink ink;
    for (int y = 0; y < kArea.bottom - kArea.top; ++y) {
        for (int x = 0; x < kArea.right - kArea.left; ++x) {
            const std::uint32_t p = At(s, x, y) & 0xFFFFFF;
            if (p == 0xFFFFFF) continue;
            if (x < field.left || x >= field.right || y < field.top || y >= field.bottom) {
                ++ink.outside;
                continue;
            }
            ++ink.inside;
            if (ink.top < 0) ink.top = y;
            ink.bottom = y + 1;
            if (Near(p, colour, 40)) ink.inColour = true;
        }
    }
    return ink;
}

}  // namespace

TEST_CASE(edit_text_without_glyphs_is_drawn_in_a_system_font_of_its_size_inside_its_field) {
    const RECT field = {40, 40, 360, 140};  // stage pixels
    const std::uint32_t red = 0xC80000;
    struct Row {
        const char* name;
        bool deviceFont;  // a font of no glyphs, so its name and size only
        std::uint16_t height;  // twips
        int minInk, maxInk;  // rows from the top of "H" to the bottom of "g"
    };
    const Row rows[] = {
        {"no font", false, 240, 6, 16},  // the default 12 pixels
        {"device font of 40 pixels", true, 800, 26, 46},
    };
    for (const Row& r : rows) {
        swfgen::MovieWriter m(400, 200, 10, 8);
        m.background(swfgen::Color{255, 255, 255, 255});
        swfgen::EditTextSpec e;
        e.xmin = field.left * 20;
        e.xmax = field.right * 20;
        e.ymin = field.top * 20;
        e.ymax = field.bottom * 20;
        if (r.deviceFont) {
            m.defineFont(1, "_sans", {});
            e.fontId = 1;
        }
        e.height = r.height;
        e.color = swfgen::Color{0xC8, 0, 0, 255};
        e.text = "Hg WMW";
        e.useOutlines = false;
        m.defineEditText(2, e);
        swfgen::Place p;
        p.depth = 1;
        p.id = 2;
        m.place(p);
        m.showFrame();
        const std::string file = std::string("text-") + (r.deviceFont ? "font" : "none") + ".swf";
        drv::Screenshot s = Show(file, m.finish(true), [&](const drv::Screenshot& shot) {
            // The host's black shows until the stage is drawn.
            const Ink ink = FindInk(shot, field, red);
            return ink.inside > 0 && ink.inside < 32000 && ink.outside == 0;
        });
        const Ink ink = FindInk(s, field, red);
        const std::string name = std::string(r.name) + ": ink rows " + std::to_string(ink.top) + ".." +
                                 std::to_string(ink.bottom) + ", " + std::to_string(ink.inside) + " inside";
        CHECK_EQ_AT(name, ink.inside > 20, true);
        CHECK_EQ_AT(name, ink.outside, 0);
        CHECK_EQ_AT(name, ink.inColour, true);
        const int rowsSpanned = ink.bottom - ink.top;
        CHECK_EQ_AT(name, rowsSpanned >= r.minInk && rowsSpanned <= r.maxInk, true);
        // Left aligned, below the field's top edge.
        CHECK_EQ_AT(name, ink.top >= field.top + 2, true);
    }
}
