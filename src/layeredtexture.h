#ifndef TIBREL_LAYEREDTEXTURE_H
#define TIBREL_LAYEREDTEXTURE_H

#include <vector>
#include <wx/string.h>

class texlayer {
public:
    wxString name;     // how the layer is found
    wxString value;    // short value handed to addLayer
    wxString file;     // image path now used; may be empty
    wxString folder;   // second key, used by subclasses
};

// One texture composed from same-sized RGBA layer images, outlined in black.
class layeredtexture {
public:
    std::vector<texlayer> layers;   // bottom first
    unsigned texture;               // 0 until the first build
    int width, height;
    bool autoRebuild;
    int builds;                     // how many times the texture has been built

    layeredtexture(int width, int height);
    virtual ~layeredtexture();

    virtual void setLayer(const wxString& name, const wxString& file);
    void addLayer(const wxString& name, const wxString& folder, const wxString& value);
    texlayer* getLayer(const wxString& name);
    void construct();
};

#endif
