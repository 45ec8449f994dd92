#ifndef TIBREL_TEXTRENDER_H
#define TIBREL_TEXTRENDER_H

#include <string>

// One font: a display list and a texture per glyph slot, glyphs made on first use.
class font_data {
public:
    float size;               // points; also line top to baseline in glyph pixels
    unsigned* textures;       // 4096 glyph textures
    unsigned listBase;        // 4096 display lists
    int* advance;             // 131072 advances in pixels
    unsigned font_id;         // index of the face
    int* slot;                // 131072: slot, -1 not made, -2 missing
    int used;                 // slots taken
    bool open;                // the face opened and the glyph tables hold GL objects

    font_data();
    ~font_data();
    void init(const char* path, unsigned size);
    void needCharacter(int c);
    // releases the display lists, textures and tables (needs the GL context)
    void clean();
};

void GLInitFreeType();
// closes the faces and the library and cleans both fonts
void GLDeinitFreeType();
font_data* GLFont(int font);
std::u32string convertString(const char* utf8);

// pixels in the 4:3 layout rectangle (screenLayout), (x, y) the top-left of the first line from
// the rectangle's top-left corner, y down
void GLText(unsigned font, float x, float y, const char* format, ...);
void GLText(unsigned font, float x, float y, const wchar_t* format, ...);
// in the current model-view frame at one tenth scale
void GLTextA(unsigned font, float x, float y, const char* format, ...);
void GLTextA(unsigned font, float x, float y, const wchar_t* format, ...);
// sum of advances of the formatted text, in glyph pixels
int GLTextWidth(unsigned font, const char* format, ...);
int GLTextWidth(unsigned font, const wchar_t* format, ...);

#endif
