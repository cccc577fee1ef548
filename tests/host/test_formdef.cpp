#include "FormDef.h"
#include "check.h"

#include <fstream>
#include <sstream>

#ifndef SWFSAVER_SOURCE_DIR
#define SWFSAVER_SOURCE_DIR "."
#endif

static std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream os;
    os << f.rdbuf();
    return os.str();
}

TEST_CASE(parses_nested_objects_and_value_kinds) {
    fw::ObjectDef o = fw::ParseFormDef(
        "object F: TForm\n"
        "  Left = -12\n"
        "  Caption = 'it''s '#35373#23450 +\n"
        "    ' x'\n"
        "  Icons = [biSystemMenu, biHelp]\n"
        "  Empty = []\n"
        "  Font.Name = 'Arial'\n"
        "  Flag = True\n"
        "  object P: TPanel\n"
        "    Data = {0aFF\n 10}\n"
        "    object Q: TButton\n"
        "    end\n"
        "  end\n"
        "end\n");
    CHECK_EQ(o.name, std::string("F"));
    CHECK_EQ(o.Int("Left", 0), -12);
    CHECK(o.Text("Caption") == std::u16string(u"it's \u8A2D\u5B9A x"));
    CHECK(o.HasInSet("Icons", "biHelp"));
    CHECK(!o.HasInSet("Empty", "biHelp"));
    CHECK(o.Text("Font.Name") == u"Arial");
    CHECK(o.Bool("Flag", false));
    CHECK(o.Bool("Missing", true));
    REQUIRE(o.FindObject("Q") != nullptr);
    CHECK_EQ(o.FindObject("Q")->className, std::string("TButton"));
    const auto* data = o.FindObject("P")->Binary("Data");
    REQUIRE(data != nullptr);
    CHECK(*data == std::vector<std::uint8_t>({0x0A, 0xFF, 0x10}));
    CHECK_THROWS(o.Int("Caption", 0));  // wrong kind is an error, not a default
}

TEST_CASE(rejects_malformed_definitions) {
    const char* bad[] = {
        "",
        "object F: TForm\n",                           // no end
        "object F TForm\nend\n",                       // no colon
        "object F: TForm\n X = 'open\nend\n",          // unterminated string
        "object F: TForm\n X = {ABC}\nend\n",          // odd hex
        "object F: TForm\n X = #70000\nend\n",         // code unit out of range
        "object F: TForm\n X = '\xE8\xA8\xAD'\nend\n", // raw non-ASCII byte
        "object F: TForm\nend\nextra",
        "object F: TForm\n X = 99999999999\nend\n",
    };
    for (const char* text : bad) {
        bool threw = false;
        try { fw::ParseFormDef(text); } catch (const fw::FormDefError&) { threw = true; }
        CHECK_EQ_AT(text, threw, true);
    }
}

TEST_CASE(player_form_definition_holds_designed_layout_and_stored_state) {
    fw::ObjectDef f = fw::ParseFormDef(Slurp(SWFSAVER_SOURCE_DIR "/resources/Unit1.dfm"));
    CHECK_EQ(f.className, std::string("TForm1"));
    CHECK(f.Text("Caption") == u"\u30E1\u30A4\u30F3\u306E\u30D5\u30A9\u30FC\u30E0");
    const fw::ObjectDef* flash = f.FindObject("ShockwaveFlash1");
    REQUIRE(flash != nullptr);
    CHECK_EQ(flash->Int("Left", 0), 16);
    CHECK_EQ(flash->Int("Width", 0), 193);
    const auto* state = flash->Binary("ControlData");
    REQUIRE(state != nullptr);
    REQUIRE(state->size() == 184u);
    // magic, format word, extents
    CHECK((*state)[0] == 0x67 && (*state)[1] == 0x55 && (*state)[2] == 0x66 && (*state)[3] == 0x55);
    CHECK((*state)[4] == 0x00 && (*state)[5] == 0x03);
    CHECK((*state)[8] == 0xF2 && (*state)[9] == 0x13);    // 5106
    CHECK((*state)[12] == 0x77 && (*state)[13] == 0x11);  // 4471
}

TEST_CASE(dialog_form_definition_parses) {
    fw::ObjectDef f = fw::ParseFormDef(Slurp(SWFSAVER_SOURCE_DIR "/resources/Unit3.dfm"));
    CHECK(f.Text("Caption") == u"\u8A2D\u5B9A");
    CHECK_EQ(f.Int("ClientWidth", 0), 313);
    REQUIRE(f.FindObject("ButtonOK") != nullptr);
    CHECK_EQ(f.FindObject("ButtonOK")->Int("TabOrder", -1), 0);
    CHECK(f.FindObject("OpenDialog1")->Text("Filter") == u"swf files (*.swf)|*.SWF");
}
