#include "textrender.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>
#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_BITMAP_H
#include "glstuff.h"
#include "main.h"

static const char* const fontPath = "data/Tuffy_Bold.ttf";
static const int codeCount = 0x20000;  // character codes 0 .. 0x1FFFF
static const int slotCount = 4096;     // glyphs per font; the first 128 are ASCII
static const int textBytes = 4096;     // working buffer of a formatted text
static const float lineSpacing = 1.5f; // next line, in font sizes
static const size_t maxFontBytes = 32u << 20;
static const unsigned maxGlyphEdge = 1024; // pixels; a glyph at the game's sizes is under 64

static FT_Library library = nullptr;
static FT_Face f_fallback = nullptr;  // consulted when a face lacks a character
static std::vector<FT_Face> f_faces;
static font_data _f_sans_serif;
static font_data _f_serif;

// ---- glyphs ----

static unsigned nextPowerOfTwo(unsigned n)
{
    unsigned p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

// Luminance-alpha texels of a glyph bitmap of any kind (1-bit, 2-bit, 4-bit or 8-bit grey, LCD,
// colour; rows either way up, any pitch) in a power-of-two texture. False for a glyph larger
// than maxGlyphEdge.
static bool glyphTexels(const FT_Bitmap& bitmap, std::vector<unsigned char>& texels, int& texW,
                        int& texH)
{
    if (bitmap.width > maxGlyphEdge || bitmap.rows > maxGlyphEdge)
        return false;
    // FreeType turns every kind into 8-bit levels of 0 ... num_grays - 1, rows top first
    FT_Bitmap grey;
    FT_Bitmap_Init(&grey);
    if (FT_Bitmap_Convert(library, &bitmap, &grey, 1) || grey.pitch < int(grey.width) ||
        grey.width != bitmap.width || grey.rows != bitmap.rows) {
        FT_Bitmap_Done(library, &grey);
        return false;
    }
    const unsigned top = grey.num_grays > 1 ? unsigned(grey.num_grays - 1) : 1;
    texW = int(nextPowerOfTwo(grey.width));
    texH = int(nextPowerOfTwo(grey.rows));
    // luminance and alpha both carry the coverage
    texels.assign(size_t(texW) * size_t(texH) * 2, 0);
    for (size_t j = 0; j < grey.rows; j++) {
        const unsigned char* src = grey.buffer + j * size_t(grey.pitch);
        for (size_t i = 0; i < grey.width; i++) {
            const unsigned level = src[i] >= top ? 255 : src[i] * 255 / top;
            texels[2 * (i + j * texW)] = texels[2 * (i + j * texW) + 1] = (unsigned char)level;
        }
    }
    FT_Bitmap_Done(library, &grey);
    return true;
}

// Renders character c into texture and display list `slot`; the list draws the glyph and
// moves on by its advance. False when neither the face nor the fallback has it.
static bool make_dlist(FT_Face face, unsigned c, unsigned slot, unsigned listBase,
                       unsigned* textures, float size, int& advance)
{
    FT_UInt index = FT_Get_Char_Index(face, c);
    if (index == 0) {
        if (!f_fallback)
            return false;
        face = f_fallback;
        index = FT_Get_Char_Index(face, c);
        if (index == 0)
            return false;
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT))
        return false;
    FT_Glyph glyph;
    if (FT_Get_Glyph(face->glyph, &glyph))
        return false;
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1)) {
        FT_Done_Glyph(glyph);
        return false;
    }
    FT_BitmapGlyph bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
    std::vector<unsigned char> texels;
    int texW = 0, texH = 0;
    if (!glyphTexels(bitmapGlyph->bitmap, texels, texW, texH)) {
        FT_Done_Glyph(glyph);
        return false;
    }
    const int width = int(bitmapGlyph->bitmap.width), rows = int(bitmapGlyph->bitmap.rows);

    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1); // rows of a 1-texel wide glyph are 2 bytes
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texW, texH, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                 texels.data());
    glPopClientAttrib();

    const int step = int(face->glyph->advance.x >> 6);
    const float u = float(width) / texW, v = float(rows) / texH;
    glNewList(listBase + slot, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    glPushMatrix();
    glTranslatef(float(bitmapGlyph->left), 0, 0);
    glTranslatef(0, size - bitmapGlyph->top, 0);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(0, 0);
    glTexCoord2f(0, v); glVertex2f(0, float(rows));
    glTexCoord2f(u, v); glVertex2f(float(width), float(rows));
    glTexCoord2f(u, 0); glVertex2f(float(width), 0);
    glEnd();
    glPopMatrix();
    glTranslatef(float(step), 0, 0);
    glEndList();

    advance = step;
    FT_Done_Glyph(glyph);
    return true;
}

// ---- fonts ----

font_data::font_data()
    : size(0), textures(nullptr), listBase(0), advance(nullptr), font_id(0), slot(nullptr),
      used(0), open(false)
{
}

// Only memory here: the GL context may already be gone when the process ends.
font_data::~font_data()
{
    delete[] textures;
    delete[] advance;
    delete[] slot;
}

void font_data::clean()
{
    if (open) {
        glDeleteLists(listBase, slotCount);
        glDeleteTextures(slotCount, textures);
    }
    delete[] textures;
    delete[] advance;
    delete[] slot;
    textures = nullptr;
    advance = nullptr;
    slot = nullptr;
    listBase = 0;
    used = 0;
    open = false;
}

void font_data::init(const char* path, unsigned size)
{
    clean();
    textures = new unsigned[slotCount]();
    advance = new int[codeCount]();
    slot = new int[codeCount];
    for (int c = 0; c < codeCount; c++)
        slot[c] = c < 128 ? c : -1;
    used = 0;
    font_id = unsigned(f_faces.size());
    this->size = float(size);

    FT_Face face;
    if (!library || !isReadableFile(path, maxFontBytes) || FT_New_Face(library, path, 0, &face))
        return; // stays empty: nothing drawn, widths 0
    f_faces.push_back(face);
    FT_Set_Char_Size(face, FT_F26Dot6(size) * 64, FT_F26Dot6(size) * 64, 96, 96);

    listBase = glGenLists(slotCount);
    if (listBase == 0)
        return;
    glGenTextures(slotCount, textures);
    open = true;
    for (int c = 0; c < 128; c++) {
        if (!make_dlist(face, c, c, listBase, textures, this->size, advance[c]))
            slot[c] = -2;
    }
    used = 128;
}

void font_data::needCharacter(int c)
{
    if (!open || c < 0 || c >= codeCount || used >= slotCount || slot[c] != -1)
        return;
    if (make_dlist(f_faces[font_id], c, used, listBase, textures, size, advance[c])) {
        slot[c] = used;
        used++;
    } else {
        slot[c] = -2;
    }
}

font_data* GLFont(int font)
{
    return font ? &_f_serif : &_f_sans_serif;
}

void GLInitFreeType()
{
    GLDeinitFreeType();
    if (FT_Init_FreeType(&library)) {
        library = nullptr;
        return;
    }
    // a thirtieth of the 4:3 layout's height, whatever the window's shape
    const int height = static_cast<int>(screenLayout().h);
    const unsigned size = unsigned(height > 0 ? height / 30 : 0);
    if (!isReadableFile(fontPath, maxFontBytes) || FT_New_Face(library, fontPath, 0, &f_fallback))
        f_fallback = nullptr;
    else
        FT_Set_Char_Size(f_fallback, FT_F26Dot6(size) * 64, FT_F26Dot6(size) * 64, 96, 96);
    _f_sans_serif.init(fontPath, size);
    _f_serif.init(fontPath, size);
}

void GLDeinitFreeType()
{
    _f_sans_serif.clean();
    _f_serif.clean();
    for (FT_Face face : f_faces)
        FT_Done_Face(face);
    f_faces.clear();
    if (f_fallback)
        FT_Done_Face(f_fallback);
    f_fallback = nullptr;
    if (library)
        FT_Done_FreeType(library);
    library = nullptr;
}

// ---- text ----

// One code point per character of at most three bytes; stray continuation bytes and
// four-byte leads swallow three bytes and give 0, as does a sequence cut short by the end.
std::u32string convertString(const char* utf8)
{
    std::u32string out;
    if (!utf8)
        return out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        const int b = *p;
        const int follow = b < 0x80 ? 0 : (b >= 0xC0 && b <= 0xDF) ? 1 : 2;
        const bool usable = b < 0x80 || (b >= 0xC0 && b <= 0xEF);
        int n = 1;
        while (n <= follow && p[n]) // never past the terminating NUL
            n++;
        if (!usable || n <= follow)
            out.push_back(0);
        else if (follow == 0)
            out.push_back(char32_t(b));
        else if (follow == 1)
            out.push_back(char32_t((b - 0xC0) * 64 + (p[1] - 0x80)));
        else
            out.push_back(char32_t(((b - 0xE0) * 64 + (p[1] - 0x80)) * 64 + (p[2] - 0x80)));
        p += n;
    }
    return out;
}

// codes beyond the tables count as a space
static unsigned tableCode(char32_t c)
{
    return c >= char32_t(codeCount) ? 32u : unsigned(c);
}

// Formats into a buffer of textBytes; an over-long result is cut.
static void formatText(char* out, const char* format, va_list ap)
{
    out[0] = 0;
    if (!format)
        return;
    vsnprintf(out, textBytes, format, ap);
    out[textBytes - 1] = 0;
}

// Formats wide text (at most textBytes - 1 characters) and converts it to UTF-8; a character
// that no longer fits is dropped whole, never cut into a partial sequence.
static void formatText(char* out, const wchar_t* format, va_list ap)
{
    out[0] = 0;
    if (!format)
        return;
    static wchar_t wide[textBytes];
    std::wmemset(wide, 0, textBytes);
    vswprintf(wide, textBytes, format, ap); // -1 when cut; what was written stays
    wide[textBytes - 1] = 0;

    size_t o = 0;
    for (const wchar_t* w = wide; *w; w++) {
        unsigned long c = static_cast<unsigned long>(*w);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        unsigned char seq[4];
        size_t n;
        if (c < 0x80) {
            seq[0] = c; n = 1;
        } else if (c < 0x800) {
            seq[0] = 0xC0 | (c >> 6); seq[1] = 0x80 | (c & 0x3F); n = 2;
        } else if (c < 0x10000) {
            seq[0] = 0xE0 | (c >> 12); seq[1] = 0x80 | ((c >> 6) & 0x3F);
            seq[2] = 0x80 | (c & 0x3F); n = 3;
        } else {
            seq[0] = 0xF0 | (c >> 18); seq[1] = 0x80 | ((c >> 12) & 0x3F);
            seq[2] = 0x80 | ((c >> 6) & 0x3F); seq[3] = 0x80 | (c & 0x3F); n = 4;
        }
        if (o + n >= size_t(textBytes))
            break;
        std::memcpy(out + o, seq, n);
        o += n;
    }
    out[o] = 0;
}

// Menu transitions shake text around while g_mix runs down.
static void wobble(float& x, float& y)
{
    const float m = g_mix;
    const layoutrect layout = screenLayout();
    if (m <= 0.01f || layout.w <= 0)
        return;
    const float W = layout.w, H = layout.h;
    const float ax = (x / W - 0.5f) * m;
    const float ay = (y / W - 0.5f) * m;
    x += ax * m * W * 0.25f;
    y += ay * m * H * 0.25f;
    x += std::cos(ay + 5 * m) * m * m * W * 0.1f;
    y += std::sin(ax + 5 * m) * m * m * H * 0.1f;
}

// Draws UTF-8 text in the current model-view frame at one tenth scale.
static void drawText(unsigned font, float x, float y, const char* text)
{
    font_data* f = GLFont(font);
    if (!f->open)
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT | GL_LIST_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glScalef(0.1f, 0.1f, 0.1f);
    glListBase(f->listBase);

    static GLuint lists[textBytes];
    const char* line = text;
    for (int n = 0;; n++) {
        const char* end = std::strchr(line, '\n');
        std::string part = end ? std::string(line, end) : std::string(line);
        std::u32string codes = convertString(part.c_str());
        GLsizei count = 0;
        for (char32_t ch : codes) {
            const unsigned c = tableCode(ch);
            f->needCharacter(int(c));
            if (f->slot[c] >= 0)
                lists[count++] = GLuint(f->slot[c]);
        }
        float lx = x, ly = y + n * f->size * lineSpacing;
        glPushMatrix();
        wobble(lx, ly);
        glTranslatef(lx, ly, 0);
        if (count > 0)
            glCallLists(count, GL_UNSIGNED_INT, lists);
        glPopMatrix();
        if (!end)
            break;
        line = end + 1;
    }

    glPopMatrix();
    glPopAttrib();
}

// Same text in pixels, (0, 0) the top-left of the 4:3 layout rectangle.
static void drawScreenText(unsigned font, float x, float y, const char* text)
{
    const layoutrect layout = screenLayout();
    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-layout.x, screen_width - layout.x, screen_height - layout.y, -layout.y, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScalef(10, 10, 10); // cancels the tenth of drawText
    drawText(font, x, y, text);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

static int textWidth(unsigned font, const char* text)
{
    font_data* f = GLFont(font);
    if (!f->advance)
        return 0;
    int width = 0;
    for (char32_t ch : convertString(text))
        width += f->advance[tableCode(ch)];
    return width;
}

#define FORMAT_ARGS(buf, format)            \
    char buf[textBytes];                    \
    {                                       \
        va_list ap;                         \
        va_start(ap, format);               \
        formatText(buf, format, ap);        \
        va_end(ap);                         \
    }

void GLText(unsigned font, float x, float y, const char* format, ...)
{
    FORMAT_ARGS(text, format);
    drawScreenText(font, x, y, text);
}

void GLText(unsigned font, float x, float y, const wchar_t* format, ...)
{
    FORMAT_ARGS(text, format);
    drawScreenText(font, x, y, text);
}

void GLTextA(unsigned font, float x, float y, const char* format, ...)
{
    FORMAT_ARGS(text, format);
    drawText(font, x, y, text);
}

void GLTextA(unsigned font, float x, float y, const wchar_t* format, ...)
{
    FORMAT_ARGS(text, format);
    drawText(font, x, y, text);
}

int GLTextWidth(unsigned font, const char* format, ...)
{
    FORMAT_ARGS(text, format);
    return textWidth(font, text);
}

int GLTextWidth(unsigned font, const wchar_t* format, ...)
{
    FORMAT_ARGS(text, format);
    return textWidth(font, text);
}
