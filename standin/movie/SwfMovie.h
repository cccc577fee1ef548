// The SWF model of the stand-in movie control: header, tag stream, characters
// and timelines, parsed once into an immutable Movie. No Windows calls.
//
// Every read is bounds-checked: a damaged or truncated file keeps the frames that
// are whole, and hostile counts, lengths and nesting end the parse cleanly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Raster.h"

namespace swfmovie {

enum class Compression { None, Zlib, Lzma };

// A rectangle in twips (1/20 pixel).
struct TwipsRect {
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    int32_t width() const { return xmax - xmin; }
    int32_t height() const { return ymax - ymin; }
};

struct MovieInfo {
    Compression compression = Compression::None;
    uint8_t version = 0;
    uint32_t fileLength = 0;  // from the header: uncompressed size including the 8 header bytes
    TwipsRect frameRect;
    uint16_t frameRate = 0;  // 8.8 fixed point frames per second
    uint16_t frameCount = 0;
    double framesPerSecond() const { return frameRate / 256.0; }
};

// Reads the header only (for CWS inflates only the first bytes). "ZWS" movies are
// reported as unsupported; anything not a SWF header is an error.
std::optional<MovieInfo> ReadMovieInfo(const uint8_t* data, size_t size, std::string* error);

// ---------------------------------------------------------------------------
// Characters

// Shapes keep the SWF coordinates (twips) with edges regrouped per fill style so the
// renderer fills each style's region with a plain non-zero rule.
struct Edge {
    int32_t x0, y0, cx, cy, x1, y1;  // cx,cy used when curved
    bool curved;
};

struct FillStyle {
    enum class Kind : uint8_t { Solid, Linear, Radial, Focal, Bitmap } kind = Kind::Solid;
    raster::Rgba color;
    raster::Matrix matrix;  // gradient square or bitmap pixels -> shape twips
    raster::Spread spread = raster::Spread::Pad;
    bool linearRgb = false;
    float focal = 0;
    std::vector<raster::GradientStop> stops;
    uint16_t bitmapId = 0;
    bool repeat = true, smooth = true;
};

struct LineStyle {
    uint16_t width = 0;  // twips
    raster::Rgba color;
    raster::Cap startCap = raster::Cap::Round, endCap = raster::Cap::Round;
    raster::Join join = raster::Join::Round;
    float miterLimit = 3;
    bool noHScale = false, noVScale = false, noClose = false;
    std::optional<FillStyle> fill;  // LINESTYLE2 with a fill: drawn with its solid colour or first stop
};

// A connected run of edges drawn with one line style.
struct StrokePath {
    uint32_t lineStyle;  // index into lineStyles
    std::vector<Edge> edges;
};

struct ShapeData {
    TwipsRect bounds;
    std::vector<FillStyle> fillStyles;
    std::vector<LineStyle> lineStyles;
    // fills[i]: the closed region of fillStyles[i], oriented for a non-zero fill.
    std::vector<std::vector<Edge>> fills;
    std::vector<StrokePath> strokes;
    // How a style's own edges enclose its region: even-odd, as the reference player
    // fills shapes, unless a DefineShape4 asks for non-zero. Regions drawn by fill0
    // and fill1 sides come out the same either way.
    bool evenOdd = true;
    bool sharedEdges = false;  // some edges have a fill on both sides (adjacent colour regions)
};

struct Shape {
    uint16_t id = 0;
    ShapeData data;
};

// Morph shapes keep start and end in parallel: same styles, same edge order.
struct MorphShape {
    uint16_t id = 0;
    TwipsRect startBounds, endBounds;
    ShapeData start, end;  // fills/strokes have matching structure edge for edge
};

struct BitmapChar {
    uint16_t id = 0;
    std::shared_ptr<const raster::Bitmap> bitmap;  // null when undecodable: drawn as nothing
};

struct Glyph {
    ShapeData shape;  // in font units (EM square 1024, or 20480 for DefineFont3)
};

struct Font {
    uint16_t id = 0;
    std::string name;
    bool bold = false, italic = false;
    double emSquare = 1024;
    std::vector<Glyph> glyphs;
    std::vector<uint16_t> codes;       // code for each glyph (when known)
    std::vector<int16_t> advances;     // layout advances (when known)
    int16_t ascent = 0, descent = 0, leading = 0;
};

struct TextRun {
    uint16_t fontId = 0;
    raster::Rgba color;
    int32_t x = 0, y = 0;  // pen position at the start of the run, twips
    uint16_t height = 0;   // twips
    std::vector<uint32_t> glyphs;
    std::vector<int32_t> advances;
};

struct Text {
    uint16_t id = 0;
    TwipsRect bounds;
    raster::Matrix matrix;
    std::vector<TextRun> runs;
};

struct EditText {
    uint16_t id = 0;
    TwipsRect bounds;
    uint16_t fontId = 0;  // 0: none embedded
    bool useOutlines = false, hasFont = false, html = false, multiline = false, wordWrap = false;
    uint16_t fontHeight = 240;
    raster::Rgba color;
    uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
    int16_t leading = 0;
    std::string variableName;
    std::string initialText;
};

// The simple timeline actions that are run; everything else is skipped.
struct Action {
    enum class Op : uint8_t { Stop, Play, NextFrame, PrevFrame, GotoFrame, GotoLabel };
    Op op = Op::Stop;
    uint32_t frame = 0;  // GotoFrame (0-based)
    std::string label;   // GotoLabel
    int8_t playState = -1;  // after a goto: -1 unchanged, 0 stop, 1 play
    // The timeline it acts on: its own, or the movie's (after SetTarget "/" or "_root").
    enum class Target : uint8_t { Self, Root } target = Target::Self;
};

// One display-list change recorded in a frame.
struct PlaceCommand {
    enum class Kind : uint8_t { Place, Remove } kind = Kind::Place;
    uint16_t depth = 0;
    bool move = false;  // PlaceObject2 "move": modify the object already at depth
    std::optional<uint16_t> characterId;
    std::optional<raster::Matrix> matrix;  // twips
    std::optional<raster::ColorTransform> cxform;
    std::optional<uint16_t> ratio;
    std::optional<uint16_t> clipDepth;
    std::optional<raster::BlendMode> blend;
    std::optional<bool> visible;
    std::string name;
};

struct Frame {
    std::vector<PlaceCommand> commands;
    std::vector<std::vector<Action>> actions;  // one list per DoAction
    std::string label;
};

struct Timeline {
    std::vector<Frame> frames;
    uint32_t frameCountDeclared = 0;
    // Returns the frame with this label (case-insensitive, as the player matches labels).
    std::optional<uint32_t> findLabel(const std::string& label) const;
};

struct Sprite {
    uint16_t id = 0;
    Timeline timeline;
};

// Decodes compressed image payloads (JPEG, PNG, GIF) into premultiplied pixels.
// The Windows side supplies one that uses the system's codecs; tests supply fakes.
class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // data: a complete JPEG (tables merged), PNG or GIF stream. Returns false when it
    // cannot be decoded.
    virtual bool decode(const uint8_t* data, size_t size, raster::Bitmap& out) = 0;
};

struct LoadOptions {
    size_t maxUncompressedBytes = size_t(256) << 20;  // CWS inflation cap
    size_t maxBitmapPixels = size_t(32) << 20;        // per bitmap
    ImageDecoder* decoder = nullptr;                  // null: JPEG bitmaps draw as nothing
};

struct Character {
    enum class Kind : uint8_t { Shape, Morph, Sprite, Bitmap, Font, Text, EditText } kind;
    std::shared_ptr<const void> ptr;
    template <class T>
    const T* as() const { return static_cast<const T*>(ptr.get()); }
};

class Movie {
public:
    MovieInfo info;
    raster::Rgba background{255, 255, 255, 255};  // SetBackgroundColor, white if absent
    Timeline timeline;
    std::map<uint16_t, Character> dictionary;
    bool damaged = false;        // the tag stream ended early or held a broken tag
    std::string damage;          // what was wrong, for logs

    const Character* find(uint16_t id) const {
        auto it = dictionary.find(id);
        return it == dictionary.end() ? nullptr : &it->second;
    }
    uint32_t frameCount() const { return uint32_t(timeline.frames.size()); }
};

// Parses a whole SWF file. Returns null with *error set when the file cannot be
// played at all (not a SWF, LZMA, corrupt compression before the first tag);
// a movie damaged later loads with `damaged` set and the frames that were whole.
std::shared_ptr<const Movie> LoadMovie(const uint8_t* data, size_t size, std::string* error,
                                       const LoadOptions& options = {});

}  // namespace swfmovie
