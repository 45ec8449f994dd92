#include "layeredtexture.h"

#include <GL/gl.h>
#include "glstuff.h"

layeredtexture::layeredtexture(int w, int h)
    : texture(0), width(w), height(h), autoRebuild(false), builds(0)
{
}

layeredtexture::~layeredtexture()
{
    if (texture != 0)
        glDeleteTextures(1, &texture);
}

void layeredtexture::addLayer(const wxString& name, const wxString& folder, const wxString& value)
{
    texlayer l;
    l.name = name;
    l.value = value;
    l.file = value;
    l.folder = folder;
    layers.push_back(l);
    // a subclass may turn the value into a file path
    if (!value.empty())
        setLayer(name, value);
}

texlayer* layeredtexture::getLayer(const wxString& name)
{
    for (texlayer& l : layers)
        if (l.name == name)
            return &l;
    return nullptr;
}

void layeredtexture::setLayer(const wxString& name, const wxString& file)
{
    texlayer* l = getLayer(name);
    if (!l)
        return;
    l->file = file;
    if (autoRebuild)
        construct();
}

void layeredtexture::construct()
{
    if (texture != 0) {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
    size_t bytes = (width > 0 && height > 0) ? size_t(width) * size_t(height) * 4 : 0;
    std::vector<unsigned char> composite(bytes, 0);
    // cleared once: a layer that cannot be decoded stamps the previous layer's image again
    std::vector<unsigned char> scratch(bytes, 0);

    if (bytes > 0) {
        for (const texlayer& l : layers) {
            // a path that does not convert to UTF-8 is as unreadable as a missing file
            wxCharBuffer path = l.file.utf8_str();
            if (path.data() && path.data()[0])
                loadTexture(path.data(), scratch.data(), width, height);
            addTexture(composite.data(), scratch.data(), width, height);
        }
        outlineTexture(composite.data(), width, height);
    }
    reserveTexture(&texture, width, height, false);
    if (bytes > 0)
        updateTexture(texture, composite.data(), width, height);
    builds++;
}
