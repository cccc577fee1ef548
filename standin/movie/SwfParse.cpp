// Header, tag stream, definitions and control tags.
#include "SwfReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace swfmovie {

namespace {

enum Tag : uint16_t {
    kEnd = 0, kShowFrame = 1, kDefineShape = 2, kPlaceObject = 4, kRemoveObject = 5, kDefineBits = 6,
    kJpegTables = 8, kSetBackgroundColor = 9, kDefineFont = 10, kDefineText = 11, kDoAction = 12,
    kDefineFontInfo = 13, kDefineBitsLossless = 20, kDefineBitsJpeg2 = 21, kDefineShape2 = 22,
    kPlaceObject2 = 26, kRemoveObject2 = 28, kDefineShape3 = 32, kDefineText2 = 33, kDefineBitsJpeg3 = 35,
    kDefineBitsLossless2 = 36, kDefineEditText = 37, kDefineSprite = 39, kFrameLabel = 43,
    kDefineMorphShape = 46, kDefineFont2 = 48, kDefineFontInfo2 = 62, kPlaceObject3 = 70, kDefineFont3 = 75,
    kDefineShape4 = 83, kDefineMorphShape2 = 84, kDefineBitsJpeg4 = 90,
};

constexpr size_t kHeaderProbe = 32;  // covers the longest RECT plus rate and count

struct ParseState {
    Movie& movie;
    const LoadOptions& opt;
    std::vector<uint8_t> jpegTables;
    std::map<uint16_t, std::shared_ptr<Font>> fonts;  // still mutable: DefineFontInfo adds codes
};

void NoteDamage(Movie& m, const std::string& what) {
    if (!m.damaged) {
        m.damaged = true;
        m.damage = what;
    }
}

template <class T>
void Define(ParseState& st, uint16_t id, Character::Kind kind, std::shared_ptr<T> p) {
    // The first definition of an id wins, as in the reference player.
    st.movie.dictionary.emplace(id, Character{kind, std::shared_ptr<const void>(std::move(p))});
}

bool ParseHeaderFields(const uint8_t* body, size_t size, MovieInfo& info, size_t* consumed) {
    try {
        Reader r(body, size);
        info.frameRect = r.rect();
        info.frameRate = r.u16();
        info.frameCount = r.u16();
        if (consumed) *consumed = r.pos();
        return true;
    } catch (const ParseError&) {
        return false;
    }
}

bool CheckSignature(const uint8_t* data, size_t size, MovieInfo& info, std::string* error) {
    auto fail = [&](const char* msg) {
        if (error) *error = msg;
        return false;
    };
    if (!data || size < 8) return fail("file too short for a SWF header");
    if (data[1] != 'W' || data[2] != 'S') return fail("not a SWF movie");
    switch (data[0]) {
        case 'F': info.compression = Compression::None; break;
        case 'C': info.compression = Compression::Zlib; break;
        case 'Z': info.compression = Compression::Lzma; break;
        default: return fail("not a SWF movie");
    }
    info.version = data[3];
    info.fileLength = uint32_t(data[4]) | (uint32_t(data[5]) << 8) | (uint32_t(data[6]) << 16) |
                      (uint32_t(data[7]) << 24);
    if (info.compression == Compression::Lzma) return fail("LZMA-compressed movies (ZWS) are not supported");
    return true;
}

// ---------------------------------------------------------------------------
// Control tags

raster::BlendMode BlendOf(uint8_t v) {
    using B = raster::BlendMode;
    switch (v) {
        case 2: return B::Layer;
        case 3: return B::Multiply;
        case 4: return B::Screen;
        case 5: return B::Lighten;
        case 6: return B::Darken;
        case 7: return B::Difference;
        case 8: return B::Add;
        case 9: return B::Subtract;
        case 10: return B::Invert;
        case 11: return B::Alpha;
        case 12: return B::Erase;
        case 13: return B::Overlay;
        case 14: return B::HardLight;
        default: return B::Normal;
    }
}

void SkipFilters(Reader& r) {
    uint8_t n = r.u8();
    for (uint8_t i = 0; i < n; ++i) {
        uint8_t id = r.u8();
        switch (id) {
            case 0: r.skip(23); break;  // drop shadow
            case 1: r.skip(9); break;   // blur
            case 2: r.skip(15); break;  // glow
            case 3: r.skip(27); break;  // bevel
            case 4:
            case 7: {  // gradient glow / bevel
                uint8_t c = r.u8();
                r.skip(size_t(c) * 5 + 19);
                break;
            }
            case 5: {  // convolution
                uint8_t x = r.u8(), y = r.u8();
                r.skip(8 + size_t(x) * y * 4 + 5);
                break;
            }
            case 6: r.skip(80); break;  // colour matrix
            default: throw ParseError("unknown filter");
        }
    }
}

PlaceCommand ParsePlace(Reader& r, uint16_t code) {
    PlaceCommand c;
    if (code == kPlaceObject) {
        c.characterId = r.u16();
        c.depth = r.u16();
        c.matrix = r.matrix();
        if (r.remaining() > 0) c.cxform = r.cxform(false);
        return c;
    }
    uint8_t f = r.u8();
    uint8_t f2 = code == kPlaceObject3 ? r.u8() : 0;
    c.depth = r.u16();
    c.move = f & 0x01;
    if (code == kPlaceObject3 && ((f2 & 0x08) || ((f2 & 0x10) && (f & 0x02)))) r.string();  // class name
    if (f & 0x02) c.characterId = r.u16();
    if (f & 0x04) c.matrix = r.matrix();
    if (f & 0x08) c.cxform = r.cxform(true);
    if (f & 0x10) c.ratio = r.u16();
    if (f & 0x20) c.name = r.string();
    if (f & 0x40) c.clipDepth = r.u16();
    if (code == kPlaceObject3) {
        if (f2 & 0x01) SkipFilters(r);
        if (f2 & 0x02) c.blend = BlendOf(r.u8());
        if (f2 & 0x04) r.u8();  // cache as bitmap: drawn directly anyway
        if (f2 & 0x20) c.visible = r.u8() != 0;
        if (f2 & 0x40) r.rgba();  // opaque background colour of the cached bitmap
    }
    // Clip actions follow; they need a script engine and are not read.
    return c;
}

Action MakeAction(Action::Op op) {
    Action a;
    a.op = op;
    return a;
}

// Reads the simple timeline actions of one DoAction body. Control flow that cannot
// be followed without a script engine ends the list; everything else is skipped.
std::vector<Action> ParseActions(Reader& r, uint8_t swfVersion) {
    std::vector<Action> out;
    struct Value {
        enum { Unknown, Number, String, Clip } kind = Unknown;
        double num = 0;
        std::string str;
        Action::Target clip = Action::Target::Self;  // Clip: this timeline or the movie's
    };
    std::vector<Value> stack;
    std::vector<std::string> pool;
    // SetTarget to the root is followed; to any other clip the actions up to the
    // next SetTarget are not run.
    Action::Target target = Action::Target::Self;
    bool otherTarget = false;
    while (r.remaining() > 0) {
        uint8_t code = r.u8();
        if (code == 0) break;
        uint16_t len = code >= 0x80 ? r.u16() : 0;
        if (len > r.remaining()) break;
        Reader a(r.here(), len);
        r.skip(len);
        auto emit = [&](Action act) {
            if (otherTarget) return;
            act.target = target;
            out.push_back(std::move(act));
        };
        auto pop = [&]() {
            Value v;
            if (!stack.empty()) {
                v = std::move(stack.back());
                stack.pop_back();
            }
            return v;
        };
        // A goto to a frame number (1-based) or label held in a value.
        auto gotoValue = [&](const Value& v, int8_t playState, uint32_t bias, Action::Target tgt) {
            Action act = MakeAction(Action::Op::GotoFrame);
            act.playState = playState;
            if (v.kind == Value::Number && v.num >= 1 && v.num < 1e9) {
                act.frame = uint32_t(v.num) - 1 + bias;
            } else if (v.kind == Value::String) {
                bool digits = !v.str.empty() && v.str.size() < 9 &&
                              std::all_of(v.str.begin(), v.str.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
                if (digits) {
                    uint32_t n = uint32_t(std::stoul(v.str));
                    if (n < 1) return;
                    act.frame = n - 1 + bias;
                } else {
                    act.op = Action::Op::GotoLabel;
                    act.label = v.str;
                }
            } else {
                return;
            }
            if (otherTarget) return;
            act.target = tgt;
            out.push_back(std::move(act));
        };
        // this.stop(), _root.gotoAndPlay(1), gotoAndStop("end") and the like.
        auto call = [&](const std::string& name, Action::Target tgt, std::vector<Value>& args) {
            Action act;
            if (name == "stop") act.op = Action::Op::Stop;
            else if (name == "play") act.op = Action::Op::Play;
            else if (name == "nextFrame") act.op = Action::Op::NextFrame;
            else if (name == "prevFrame") act.op = Action::Op::PrevFrame;
            else if ((name == "gotoAndStop" || name == "gotoAndPlay") && !args.empty()) {
                gotoValue(args[0], name == "gotoAndPlay" ? 1 : 0, 0, tgt);
                return;
            } else {
                return;
            }
            if (otherTarget) return;
            act.target = tgt;
            out.push_back(std::move(act));
        };
        auto popArgs = [&](std::vector<Value>& args) {
            Value n = pop();
            if (n.kind != Value::Number || n.num < 0 || n.num > 64) return false;
            for (int i = 0; i < int(n.num); ++i) args.push_back(pop());
            return true;
        };
        try {
            switch (code) {
                case 0x04: emit(MakeAction(Action::Op::NextFrame)); break;
                case 0x05: emit(MakeAction(Action::Op::PrevFrame)); break;
                case 0x06: emit(MakeAction(Action::Op::Play)); break;
                case 0x07: emit(MakeAction(Action::Op::Stop)); break;
                case 0x81: {
                    Action act = MakeAction(Action::Op::GotoFrame);
                    act.frame = a.u16();
                    emit(act);
                    break;
                }
                case 0x8C: {
                    Action act = MakeAction(Action::Op::GotoLabel);
                    act.label = a.string();
                    emit(act);
                    break;
                }
                case 0x8B: {  // SetTarget
                    std::string t = a.string();
                    otherTarget = false;
                    if (t.empty()) target = Action::Target::Self;
                    else if (t == "/" || t == "_root" || t == "_level0") target = Action::Target::Root;
                    else otherTarget = true;
                    stack.clear();
                    break;
                }
                case 0x88: {  // ConstantPool
                    pool.clear();
                    uint16_t n = a.u16();
                    for (uint16_t i = 0; i < n; ++i) pool.push_back(a.string());
                    break;
                }
                case 0x96:  // Push
                    while (a.remaining() > 0) {
                        uint8_t type = a.u8();
                        Value v;
                        switch (type) {
                            case 0: v.kind = Value::String; v.str = a.string(); break;
                            case 1: {
                                uint32_t bits = a.u32();
                                float f;
                                std::memcpy(&f, &bits, 4);
                                v.kind = Value::Number;
                                v.num = f;
                                break;
                            }
                            case 2: case 3: break;
                            case 4: a.u8(); break;
                            case 5: a.u8(); break;
                            case 6: {
                                // Stored as two little-endian halves, high word first.
                                uint32_t hi = a.u32(), lo = a.u32();
                                uint64_t bits = (uint64_t(hi) << 32) | lo;
                                double d;
                                std::memcpy(&d, &bits, 8);
                                v.kind = Value::Number;
                                v.num = d;
                                break;
                            }
                            case 7: v.kind = Value::Number; v.num = int32_t(a.u32()); break;
                            case 8: case 9: {
                                uint16_t i = type == 8 ? a.u8() : a.u16();
                                if (i < pool.size()) {
                                    v.kind = Value::String;
                                    v.str = pool[i];
                                }
                                break;
                            }
                            default: throw ParseError("bad push type");
                        }
                        stack.push_back(std::move(v));
                    }
                    break;
                case 0x9F: {  // GotoFrame2: the frame (1-based) or a label from the stack
                    uint8_t flags = a.u8();
                    uint16_t bias = (flags & 2) ? a.u16() : 0;
                    if (stack.empty()) break;
                    gotoValue(pop(), (flags & 1) ? 1 : 0, bias, target);
                    break;
                }
                case 0x17:  // Pop
                    pop();
                    break;
                case 0x1C: {  // GetVariable: only the names of timelines mean something here
                    Value name = pop(), v;
                    if (name.kind == Value::String) {
                        if (name.str == "this") {
                            v.kind = Value::Clip;
                            v.clip = target;
                        } else if (name.str == "_root" || name.str == "_level0") {
                            v.kind = Value::Clip;
                            v.clip = Action::Target::Root;
                        }
                    }
                    stack.push_back(v);
                    break;
                }
                case 0x3D: {  // CallFunction: the global timeline functions
                    Value name = pop();
                    std::vector<Value> args;
                    if (!popArgs(args)) {
                        stack.clear();
                    } else if (name.kind == Value::String) {
                        call(name.str, target, args);
                    }
                    stack.push_back(Value{});  // its result
                    break;
                }
                case 0x52: {  // CallMethod on a timeline
                    Value method = pop(), object = pop();
                    std::vector<Value> args;
                    if (!popArgs(args)) {
                        stack.clear();
                    } else if (method.kind == Value::String && object.kind == Value::Clip) {
                        call(method.str, object.clip, args);
                    }
                    stack.push_back(Value{});
                    break;
                }
                case 0x99:  // Jump
                case 0x9D:  // If
                case 0x9E:  // Call
                    return out;
                default:
                    // Anything else may consume or produce values we cannot follow.
                    stack.clear();
                    break;
            }
        } catch (const ParseError&) {
            return out;
        }
    }
    (void)swfVersion;
    return out;
}

// ---------------------------------------------------------------------------
// Bitmaps

void ApplyAlphaPlane(raster::Bitmap& b, const uint8_t* alpha, size_t n) {
    if (n < size_t(b.width) * size_t(b.height)) return;
    b.opaque = true;
    for (size_t i = 0; i < b.pixels.size(); ++i) {
        uint32_t p = b.pixels[i], a = alpha[i];
        auto ch = [&](int sh) { return ((((p >> sh) & 255) * a + 127) / 255) << sh; };
        b.pixels[i] = (a << 24) | ch(16) | ch(8) | ch(0);
        if (a != 255) b.opaque = false;
    }
}

// Removes the stray end/start marker pair that some writers put at the front or
// between the tables and the image, which system decoders reject.
std::vector<uint8_t> CleanJpeg(const uint8_t* d, size_t n) {
    std::vector<uint8_t> out(d, d + n);
    if (out.size() >= 4 && out[0] == 0xFF && out[1] == 0xD9 && out[2] == 0xFF && out[3] == 0xD8)
        out.erase(out.begin(), out.begin() + 4);
    for (size_t i = 2; i + 3 < out.size(); ++i) {
        if (out[i] == 0xFF && out[i + 1] == 0xD9 && out[i + 2] == 0xFF && out[i + 3] == 0xD8) {
            out.erase(out.begin() + long(i), out.begin() + long(i) + 4);
            break;
        }
    }
    return out;
}

bool IsJpeg(const uint8_t* d, size_t n) {
    return n >= 2 && d[0] == 0xFF && (d[1] == 0xD8 || d[1] == 0xD9);
}

std::shared_ptr<raster::Bitmap> DecodeImage(ParseState& st, std::vector<uint8_t> data) {
    if (!st.opt.decoder || data.empty()) return nullptr;
    auto b = std::make_shared<raster::Bitmap>();
    if (!st.opt.decoder->decode(data.data(), data.size(), *b)) return nullptr;
    if (b->width <= 0 || b->height <= 0 || size_t(b->width) * size_t(b->height) > st.opt.maxBitmapPixels ||
        b->pixels.size() != size_t(b->width) * size_t(b->height))
        return nullptr;
    return b;
}

void ParseJpeg(ParseState& st, Reader& r, uint16_t code) {
    uint16_t id = r.u16();
    auto bc = std::make_shared<BitmapChar>();
    bc->id = id;
    uint32_t alphaOffset = 0;
    if (code == kDefineBitsJpeg3 || code == kDefineBitsJpeg4) alphaOffset = r.u32();
    if (code == kDefineBitsJpeg4) r.u16();  // deblocking
    size_t imageSize = r.remaining();
    if (alphaOffset) {
        if (alphaOffset > r.remaining()) throw ParseError("alpha offset past the tag");
        imageSize = alphaOffset;
    }
    const uint8_t* img = r.here();
    std::vector<uint8_t> data;
    if (code == kDefineBits) {
        // Tables from JPEGTables, then the image: one stream for the decoder.
        std::vector<uint8_t> joined = st.jpegTables;
        joined.insert(joined.end(), img, img + imageSize);
        data = CleanJpeg(joined.data(), joined.size());
    } else if (IsJpeg(img, imageSize)) {
        data = CleanJpeg(img, imageSize);
    } else {
        data.assign(img, img + imageSize);  // PNG or GIF
    }
    bool jpeg = IsJpeg(data.data(), data.size());
    auto bmp = DecodeImage(st, std::move(data));
    if (bmp && alphaOffset && jpeg) {
        std::vector<uint8_t> alpha;
        size_t want = size_t(bmp->width) * size_t(bmp->height);
        if (Inflate(r.here() + imageSize, r.remaining() - imageSize, want, alpha, true))
            ApplyAlphaPlane(*bmp, alpha.data(), alpha.size());
    }
    bc->bitmap = std::move(bmp);
    Define(st, id, Character::Kind::Bitmap, bc);
}

void ParseLossless(ParseState& st, Reader& r, uint16_t code) {
    const bool withAlpha = code == kDefineBitsLossless2;
    uint16_t id = r.u16();
    uint8_t format = r.u8();
    int w = r.u16(), h = r.u16();
    auto bc = std::make_shared<BitmapChar>();
    bc->id = id;
    size_t pixels = size_t(w) * size_t(h);
    if (w == 0 || h == 0 || pixels > st.opt.maxBitmapPixels) {
        Define(st, id, Character::Kind::Bitmap, bc);
        return;
    }
    size_t tableSize = 0;
    if (format == 3) tableSize = size_t(r.u8()) + 1;
    size_t entry = withAlpha ? 4 : 3;
    size_t rowBytes;
    switch (format) {
        case 3: rowBytes = (size_t(w) + 3) & ~size_t(3); break;
        case 4: rowBytes = (size_t(w) * 2 + 3) & ~size_t(3); break;
        case 5: rowBytes = size_t(w) * 4; break;
        default: throw ParseError("unknown lossless bitmap format");
    }
    size_t want = tableSize * entry + rowBytes * size_t(h);
    std::vector<uint8_t> raw;
    if (!Inflate(r.here(), r.remaining(), want, raw, true) || raw.size() < want)
        throw ParseError("lossless bitmap data too short");
    auto b = std::make_shared<raster::Bitmap>();
    b->width = w;
    b->height = h;
    b->pixels.resize(pixels);
    b->opaque = true;
    auto premul = [](uint32_t a, uint32_t r8, uint32_t g8, uint32_t b8, bool already) {
        if (!already) {
            r8 = (r8 * a + 127) / 255;
            g8 = (g8 * a + 127) / 255;
            b8 = (b8 * a + 127) / 255;
        }
        // Premultiplied channels never exceed alpha.
        r8 = std::min(r8, a);
        g8 = std::min(g8, a);
        b8 = std::min(b8, a);
        return (a << 24) | (r8 << 16) | (g8 << 8) | b8;
    };
    if (format == 3) {
        std::vector<uint32_t> table(256, 0xFF000000u);
        for (size_t i = 0; i < tableSize; ++i) {
            const uint8_t* e = raw.data() + i * entry;
            uint32_t a = withAlpha ? e[3] : 255;
            table[i] = premul(a, e[0], e[1], e[2], true);
        }
        const uint8_t* rows = raw.data() + tableSize * entry;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) b->pixels[size_t(y) * w + x] = table[rows[size_t(y) * rowBytes + x]];
    } else if (format == 4) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = raw.data() + size_t(y) * rowBytes + size_t(x) * 2;
                uint32_t v = (uint32_t(p[0]) << 8) | p[1];
                uint32_t r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
                b->pixels[size_t(y) * w + x] =
                    premul(255, (r5 << 3) | (r5 >> 2), (g5 << 3) | (g5 >> 2), (b5 << 3) | (b5 >> 2), true);
            }
    } else {
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* p = raw.data() + i * 4;
            uint32_t a = withAlpha ? p[0] : 255;
            b->pixels[i] = premul(a, p[1], p[2], p[3], true);
        }
    }
    for (uint32_t p : b->pixels)
        if ((p >> 24) != 255) {
            b->opaque = false;
            break;
        }
    bc->bitmap = std::move(b);
    Define(st, id, Character::Kind::Bitmap, bc);
}

// ---------------------------------------------------------------------------
// Shapes, morphs, fonts and text

void ParseShape(ParseState& st, Reader& r, uint16_t code) {
    auto s = std::make_shared<Shape>();
    s->id = r.u16();
    s->data.bounds = r.rect();
    int version = code == kDefineShape ? 1 : code == kDefineShape2 ? 2 : code == kDefineShape3 ? 3 : 4;
    if (version == 4) {
        r.rect();  // edge bounds
        uint8_t flags = r.u8();
        s->data.evenOdd = !(flags & 0x04);  // the non-zero rule only when the shape asks for it
    }
    ShapeParseOptions opt;
    opt.shapeVersion = version;
    ParseShapeRecords(r, opt, s->data);
    Define(st, s->id, Character::Kind::Shape, s);
}

raster::Cap CapOfMorph(uint32_t v) {
    return v == 1 ? raster::Cap::None : (v == 2 ? raster::Cap::Square : raster::Cap::Round);
}

void ReadMorphFill(Reader& r, FillStyle& a, FillStyle& b) {
    uint8_t type = r.u8();
    switch (type) {
        case 0x00:
            a.kind = b.kind = FillStyle::Kind::Solid;
            a.color = r.rgba();
            b.color = r.rgba();
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            a.kind = b.kind = type == 0x10 ? FillStyle::Kind::Linear : FillStyle::Kind::Radial;
            a.matrix = r.matrix();
            b.matrix = r.matrix();
            uint8_t n = r.u8();
            uint8_t spread = (n >> 6) & 3;
            a.spread = b.spread = spread == 1 ? raster::Spread::Reflect
                                              : (spread == 2 ? raster::Spread::Repeat : raster::Spread::Pad);
            n &= 15;
            for (uint8_t i = 0; i < n; ++i) {
                raster::GradientStop s0, s1;
                s0.ratio = r.u8();
                s0.color = r.rgba();
                s1.ratio = r.u8();
                s1.color = r.rgba();
                a.stops.push_back(s0);
                b.stops.push_back(s1);
            }
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            a.kind = b.kind = FillStyle::Kind::Bitmap;
            a.bitmapId = b.bitmapId = r.u16();
            a.matrix = r.matrix();
            b.matrix = r.matrix();
            a.repeat = b.repeat = type == 0x40 || type == 0x42;
            a.smooth = b.smooth = type == 0x40 || type == 0x41;
            break;
        default:
            throw ParseError("unknown morph fill style");
    }
}

void ParseMorph(ParseState& st, Reader& r, uint16_t code) {
    auto m = std::make_shared<MorphShape>();
    m->id = r.u16();
    m->startBounds = r.rect();
    m->endBounds = r.rect();
    if (code == kDefineMorphShape2) {
        r.rect();
        r.rect();
        r.u8();
    }
    uint32_t offset = r.u32();
    size_t endPos = r.pos() + offset;
    uint32_t n = r.u8();
    if (n == 0xFF) n = r.u16();
    for (uint32_t i = 0; i < n; ++i) {
        FillStyle a, b;
        ReadMorphFill(r, a, b);
        m->start.fillStyles.push_back(std::move(a));
        m->end.fillStyles.push_back(std::move(b));
    }
    n = r.u8();
    if (n == 0xFF) n = r.u16();
    for (uint32_t i = 0; i < n; ++i) {
        LineStyle a, b;
        a.width = r.u16();
        b.width = r.u16();
        if (code == kDefineMorphShape2) {
            a.startCap = b.startCap = CapOfMorph(r.ub(2));
            uint32_t join = r.ub(2);
            bool hasFill = r.ub(1);
            a.noHScale = b.noHScale = r.ub(1);
            a.noVScale = b.noVScale = r.ub(1);
            r.ub(1);
            r.ub(5);
            a.noClose = b.noClose = r.ub(1);
            a.endCap = b.endCap = CapOfMorph(r.ub(2));
            a.join = b.join = join == 1 ? raster::Join::Bevel : (join == 2 ? raster::Join::Miter : raster::Join::Round);
            if (join == 2) a.miterLimit = b.miterLimit = r.u16() / 256.f;
            if (hasFill) {
                FillStyle fa, fb;
                ReadMorphFill(r, fa, fb);
                a.color = fa.kind == FillStyle::Kind::Solid ? fa.color : (fa.stops.empty() ? raster::Rgba{} : fa.stops[0].color);
                b.color = fb.kind == FillStyle::Kind::Solid ? fb.color : (fb.stops.empty() ? raster::Rgba{} : fb.stops[0].color);
            } else {
                a.color = r.rgba();
                b.color = r.rgba();
            }
        } else {
            a.color = r.rgba();
            b.color = r.rgba();
        }
        m->start.lineStyles.push_back(a);
        m->end.lineStyles.push_back(b);
    }
    ShapeParseOptions opt;
    opt.shapeVersion = 3;
    opt.withStyles = false;
    std::vector<RawEdge> rawStart, rawEnd;
    ParseShapeRecords(r, opt, m->start, &rawStart);
    r.seek(endPos);
    ShapeData endEdges;
    endEdges.fillStyles = m->end.fillStyles;
    endEdges.lineStyles = m->end.lineStyles;
    ParseShapeRecords(r, opt, endEdges, &rawEnd);
    // Edges pair up in order; the end shape takes the start's styles and paths.
    size_t k = std::min(rawStart.size(), rawEnd.size());
    rawStart.resize(k);
    rawEnd.resize(k);
    for (size_t i = 0; i < k; ++i) {
        Edge e = rawEnd[i].e;
        if (e.curved != rawStart[i].e.curved) e.curved = rawStart[i].e.curved = true;
        rawEnd[i] = rawStart[i];
        rawEnd[i].e = e;
    }
    BuildShape(rawStart, m->start);
    BuildShape(rawEnd, m->end);
    m->start.bounds = m->startBounds;
    m->end.bounds = m->endBounds;
    Define(st, m->id, Character::Kind::Morph, m);
}

std::shared_ptr<Font> NewFont(ParseState& st, uint16_t id) {
    auto f = std::make_shared<Font>();
    f->id = id;
    if (!st.fonts.count(id)) st.fonts[id] = f;
    return f;
}

Glyph ParseGlyph(const uint8_t* p, size_t n) {
    Glyph g;
    g.shape.evenOdd = false;  // outlines from fonts may overlap their own contours
    FillStyle solid;
    g.shape.fillStyles.push_back(solid);
    if (n == 0) {
        BuildShape({}, g.shape);
        return g;
    }
    Reader gr(p, n);
    ShapeParseOptions opt;
    opt.withStyles = false;
    try {
        ParseShapeRecords(gr, opt, g.shape);
    } catch (const ParseError&) {
        // A broken glyph draws as what was read of it.
        if (g.shape.fills.size() != g.shape.fillStyles.size()) BuildShape({}, g.shape);
    }
    return g;
}

void ParseFont1(ParseState& st, Reader& r) {
    uint16_t id = r.u16();
    auto f = NewFont(st, id);
    size_t base = r.pos();
    uint16_t first = r.u16();
    size_t count = first / 2;
    std::vector<uint32_t> offs{first};
    for (size_t i = 1; i < count; ++i) offs.push_back(r.u16());
    size_t total = r.size() - base;
    for (size_t i = 0; i < count; ++i) {
        size_t a = offs[i], b = i + 1 < count ? offs[i + 1] : total;
        if (a > total || b > total || b < a) throw ParseError("bad glyph offset");
        f->glyphs.push_back(ParseGlyph(r.here() - r.pos() + base + a, b - a));
    }
    Define(st, id, Character::Kind::Font, f);
}

void ParseFont23(ParseState& st, Reader& r, uint16_t code) {
    uint16_t id = r.u16();
    auto f = NewFont(st, id);
    uint8_t flags = r.u8();
    r.u8();  // language
    uint8_t nameLen = r.u8();
    r.need(nameLen);
    f->name.assign(reinterpret_cast<const char*>(r.here()), nameLen);
    while (!f->name.empty() && f->name.back() == 0) f->name.pop_back();
    r.skip(nameLen);
    f->bold = flags & 1;
    f->italic = flags & 2;
    const bool wideOffsets = flags & 0x08, wideCodes = flags & 0x04, layout = flags & 0x80;
    f->emSquare = code == kDefineFont3 ? 20480 : 1024;
    uint16_t count = r.u16();
    size_t base = r.pos();
    std::vector<uint32_t> offs;
    for (uint16_t i = 0; i < count; ++i) offs.push_back(wideOffsets ? r.u32() : r.u16());
    uint32_t codeOffset = 0;
    if (count > 0 || r.remaining() > 0) codeOffset = wideOffsets ? r.u32() : r.u16();
    size_t total = r.size() - base;
    if (codeOffset > total) throw ParseError("bad code table offset");
    const uint8_t* start = r.here() - (r.pos() - base);
    for (uint16_t i = 0; i < count; ++i) {
        size_t a = offs[i], b = i + 1 < count ? offs[i + 1] : codeOffset;
        if (a > total || b > total || b < a) throw ParseError("bad glyph offset");
        f->glyphs.push_back(ParseGlyph(start + a, b - a));
    }
    r.seek(base + codeOffset);
    for (uint16_t i = 0; i < count; ++i) f->codes.push_back(wideCodes ? r.u16() : r.u8());
    if (layout) {
        f->ascent = r.s16();
        f->descent = r.s16();
        f->leading = r.s16();
        for (uint16_t i = 0; i < count; ++i) f->advances.push_back(r.s16());
        // Bounds and kerning are not needed for drawing.
    }
    Define(st, id, Character::Kind::Font, f);
}

void ParseFontInfo(ParseState& st, Reader& r, uint16_t code) {
    uint16_t id = r.u16();
    auto it = st.fonts.find(id);
    if (it == st.fonts.end()) return;
    Font& f = *it->second;
    uint8_t nameLen = r.u8();
    r.need(nameLen);
    f.name.assign(reinterpret_cast<const char*>(r.here()), nameLen);
    r.skip(nameLen);
    uint8_t flags = r.u8();
    if (code == kDefineFontInfo2) r.u8();  // language
    bool wide = flags & 1;
    f.bold = flags & 2;
    f.italic = flags & 4;
    f.codes.clear();
    for (size_t i = 0; i < f.glyphs.size(); ++i) f.codes.push_back(wide ? r.u16() : r.u8());
}

void ParseText(ParseState& st, Reader& r, uint16_t code) {
    auto t = std::make_shared<Text>();
    t->id = r.u16();
    t->bounds = r.rect();
    t->matrix = r.matrix();
    int glyphBits = r.u8(), advanceBits = r.u8();
    if (glyphBits > 32 || advanceBits > 32) throw ParseError("bad text bit counts");
    TextRun cur;
    int32_t x = 0, y = 0;
    while (true) {
        uint8_t flags = r.u8();
        if (flags == 0) break;
        TextRun run = cur;
        run.glyphs.clear();
        run.advances.clear();
        if (flags & 0x08) run.fontId = r.u16();
        if (flags & 0x04) run.color = code == kDefineText2 ? r.rgba() : r.rgb();
        if (flags & 0x01) x = r.s16();
        if (flags & 0x02) y = r.s16();
        if (flags & 0x08) run.height = r.u16();
        uint8_t n = r.u8();
        run.x = x;
        run.y = y;
        for (uint8_t i = 0; i < n; ++i) {
            run.glyphs.push_back(r.ub(glyphBits));
            int32_t adv = r.sb(advanceBits);
            run.advances.push_back(adv);
            x += adv;
        }
        r.align();
        cur = run;
        t->runs.push_back(std::move(run));
    }
    Define(st, t->id, Character::Kind::Text, t);
}

void ParseEditText(ParseState& st, Reader& r) {
    auto e = std::make_shared<EditText>();
    e->id = r.u16();
    e->bounds = r.rect();
    uint8_t f1 = r.u8(), f2 = r.u8();
    bool hasText = f1 & 0x80;
    e->wordWrap = f1 & 0x40;
    e->multiline = f1 & 0x20;
    bool hasColor = f1 & 0x04, hasMax = f1 & 0x02, hasFont = f1 & 0x01;
    bool hasFontClass = f2 & 0x80, hasLayout = f2 & 0x20;
    e->html = f2 & 0x02;
    e->useOutlines = f2 & 0x01;
    if (hasFont) e->fontId = r.u16();
    if (hasFontClass) r.string();
    e->hasFont = hasFont;
    if (hasFont || hasFontClass) e->fontHeight = r.u16();
    if (hasColor) e->color = r.rgba();
    if (hasMax) r.u16();
    if (hasLayout) {
        e->align = r.u8();
        e->leftMargin = r.u16();
        e->rightMargin = r.u16();
        e->indent = r.u16();
        e->leading = r.s16();
    }
    e->variableName = r.string();
    if (hasText) e->initialText = r.string();
    Define(st, e->id, Character::Kind::EditText, e);
}

// ---------------------------------------------------------------------------
// The tag loop

void ParseTags(ParseState& st, Reader& r, Timeline& tl, bool inSprite) {
    Movie& movie = st.movie;
    Frame cur;
    // Counting the frames that ShowFrame completed; tags after the last one form no frame.
    while (true) {
        if (r.remaining() == 0) {
            if (!inSprite) NoteDamage(movie, "movie ends without an End tag");
            break;
        }
        if (r.remaining() < 2) {
            NoteDamage(movie, "truncated tag header");
            break;
        }
        uint16_t hdr = r.u16();
        uint16_t code = hdr >> 6;
        uint32_t len = hdr & 0x3F;
        if (len == 0x3F) {
            if (r.remaining() < 4) {
                NoteDamage(movie, "truncated tag header");
                break;
            }
            len = r.u32();
        }
        if (len > r.remaining()) {
            NoteDamage(movie, "tag " + std::to_string(code) + " runs past the end of the data");
            break;
        }
        Reader body(r.here(), len);
        r.skip(len);
        if (code == kEnd) break;
        if (code == kShowFrame) {
            tl.frames.push_back(std::move(cur));
            cur = Frame{};
            continue;
        }
        try {
            switch (code) {
                case kPlaceObject:
                case kPlaceObject2:
                case kPlaceObject3:
                    cur.commands.push_back(ParsePlace(body, code));
                    break;
                case kRemoveObject: {
                    PlaceCommand c;
                    c.kind = PlaceCommand::Kind::Remove;
                    body.u16();
                    c.depth = body.u16();
                    cur.commands.push_back(c);
                    break;
                }
                case kRemoveObject2: {
                    PlaceCommand c;
                    c.kind = PlaceCommand::Kind::Remove;
                    c.depth = body.u16();
                    cur.commands.push_back(c);
                    break;
                }
                case kFrameLabel:
                    cur.label = body.string();
                    break;
                case kDoAction: {
                    auto acts = ParseActions(body, movie.info.version);
                    if (!acts.empty()) cur.actions.push_back(std::move(acts));
                    break;
                }
                default:
                    break;
            }
            if (!inSprite) {
                switch (code) {
                    case kSetBackgroundColor:
                        movie.background = body.rgb();
                        break;
                    case kDefineShape:
                    case kDefineShape2:
                    case kDefineShape3:
                    case kDefineShape4:
                        ParseShape(st, body, code);
                        break;
                    case kDefineMorphShape:
                    case kDefineMorphShape2:
                        ParseMorph(st, body, code);
                        break;
                    case kDefineSprite: {
                        auto s = std::make_shared<Sprite>();
                        s->id = body.u16();
                        s->timeline.frameCountDeclared = body.u16();
                        // Sprites hold control tags only; one cannot define another.
                        ParseTags(st, body, s->timeline, true);
                        Define(st, s->id, Character::Kind::Sprite, s);
                        break;
                    }
                    case kJpegTables:
                        st.jpegTables.assign(body.here(), body.here() + body.remaining());
                        break;
                    case kDefineBits:
                    case kDefineBitsJpeg2:
                    case kDefineBitsJpeg3:
                    case kDefineBitsJpeg4:
                        ParseJpeg(st, body, code);
                        break;
                    case kDefineBitsLossless:
                    case kDefineBitsLossless2:
                        ParseLossless(st, body, code);
                        break;
                    case kDefineFont:
                        ParseFont1(st, body);
                        break;
                    case kDefineFont2:
                    case kDefineFont3:
                        ParseFont23(st, body, code);
                        break;
                    case kDefineFontInfo:
                    case kDefineFontInfo2:
                        ParseFontInfo(st, body, code);
                        break;
                    case kDefineText:
                    case kDefineText2:
                        ParseText(st, body, code);
                        break;
                    case kDefineEditText:
                        ParseEditText(st, body);
                        break;
                    default:
                        break;  // unknown and unneeded tags are skipped
                }
            }
        } catch (const ParseError& e) {
            NoteDamage(movie, "tag " + std::to_string(code) + ": " + e.what());
        } catch (const std::bad_alloc&) {
            NoteDamage(movie, "tag " + std::to_string(code) + ": out of memory");
        }
    }
}

}  // namespace

std::optional<uint32_t> Timeline::findLabel(const std::string& label) const {
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string want = lower(label);
    for (size_t i = 0; i < frames.size(); ++i)
        if (!frames[i].label.empty() && lower(frames[i].label) == want) return uint32_t(i);
    return std::nullopt;
}

std::optional<MovieInfo> ReadMovieInfo(const uint8_t* data, size_t size, std::string* error) {
    MovieInfo info;
    if (!CheckSignature(data, size, info, error)) return std::nullopt;
    std::vector<uint8_t> head;
    const uint8_t* body = data + 8;
    size_t bodySize = size - 8;
    if (info.compression == Compression::Zlib) {
        if (!Inflate(data + 8, size - 8, kHeaderProbe, head, true) || head.empty()) {
            if (error) *error = "compressed movie data is corrupt";
            return std::nullopt;
        }
        body = head.data();
        bodySize = head.size();
    }
    if (!ParseHeaderFields(body, bodySize, info, nullptr)) {
        if (error) *error = "truncated SWF header";
        return std::nullopt;
    }
    return info;
}

std::shared_ptr<const Movie> LoadMovie(const uint8_t* data, size_t size, std::string* error,
                                       const LoadOptions& options) {
    auto movie = std::make_shared<Movie>();
    if (!CheckSignature(data, size, movie->info, error)) return nullptr;
    std::vector<uint8_t> inflated;
    const uint8_t* body = data + 8;
    size_t bodySize = size - 8;
    if (movie->info.compression == Compression::Zlib) {
        size_t want = options.maxUncompressedBytes;
        if (movie->info.fileLength > 8) want = std::min<size_t>(want, size_t(movie->info.fileLength) - 8);
        try {
            if (!Inflate(data + 8, size - 8, want, inflated, true) || inflated.empty()) {
                if (error) *error = "compressed movie data is corrupt";
                return nullptr;
            }
        } catch (const std::bad_alloc&) {
            if (error) *error = "out of memory inflating the movie";
            return nullptr;
        }
        if (movie->info.fileLength > 8 && inflated.size() < size_t(movie->info.fileLength) - 8)
            NoteDamage(*movie, "compressed data ends early");
        body = inflated.data();
        bodySize = inflated.size();
    }
    size_t used = 0;
    if (!ParseHeaderFields(body, bodySize, movie->info, &used)) {
        if (error) *error = "truncated SWF header";
        return nullptr;
    }
    ParseState st{*movie, options, {}, {}};
    Reader r(body + used, bodySize - used);
    try {
        ParseTags(st, r, movie->timeline, false);
    } catch (const ParseError& e) {
        NoteDamage(*movie, e.what());
    }
    movie->timeline.frameCountDeclared = movie->info.frameCount;
    if (error) *error = movie->damaged ? movie->damage : std::string();
    return movie;
}

}  // namespace swfmovie
