#include "layeredplayertexture.h"

#include <wx/config.h>
#include <wx/dir.h>
#include <wx/log.h>
#include "daytime.h"
#include "main.h"

// The body parts, bottom first: the label shown in the menu and the folder of its images,
// which is also the last part of its configuration key.
static const struct {
    const wchar_t* name;
    const wchar_t* folder;
} outfitLayers[] = {
    { L"Left Foot", L"FootL" },
    { L"Left Leg", L"LegL" },
    { L"Left Hand", L"HandL" },
    { L"Left Arm", L"ArmL" },
    { L"Lower Body", L"Pelvis" },
    { L"Upper Body", L"Torso" },
    { L"Head", L"Head" },
    { L"Eyes and Glasses", L"Eyes_and_glasses" },
    { L"Hair and Hats", L"Hats_and_hair" },
    { L"Right Arm", L"ArmR" },
    { L"Right Leg", L"LegR" },
    { L"Right Foot", L"FootR" },
    { L"Right Hand", L"HandR" },
};

// A texture name becomes part of a file name; one with a path separator would leave its folder.
static bool isPlainName(const wxString& v)
{
    return v.find_first_of(L"/\\") == wxString::npos;
}

layeredplayertexture::layeredplayertexture(int t, int index)
    : layeredtexture(512, 512), team(t), playerIndex(index)
{
    for (const auto& row : outfitLayers) {
        wxString stored;
        if (g_config)
            stored = g_config->Read(configKey(row.folder), wxEmptyString);
        // a damaged entry counts as no choice; defaults() then picks a name
        if (!isPlainName(stored))
            stored.clear();
        addLayer(row.name, row.folder, stored);
    }
    defaults();
    construct();
}

wxString layeredplayertexture::side() const
{
    return team != 0 ? L"right" : L"left";
}

wxString layeredplayertexture::configKey(const wxString& folder) const
{
    return wxString::Format(L"pl%d/%s", playerIndex, folder);
}

void layeredplayertexture::setLayer(const wxString& name, const wxString& value)
{
    texlayer* l = getLayer(name);
    if (!l)
        return;
    wxString file;
    if (!value.empty() && isPlainName(value)) {
        l->value = value;
        file = wxString::Format(L"data/%s/%s/%s_%s.png", side(), l->folder, getDTPrefix(), value);
    } else {
        // no name, or one that is not a plain name: the layer shows no image
        l->value.clear();
    }
    layeredtexture::setLayer(name, file);
}

std::vector<wxString> layeredplayertexture::findTextureNames(const wxString& name)
{
    std::vector<wxString> names;
    texlayer* l = getLayer(name);
    if (!l)
        return names;
    wxString path = wxString::Format(L"data/%s/%s", side(), l->folder);
    wxLogNull quiet;   // a missing folder is normal; no message box, no log line
    if (!wxDir::Exists(path))
        return names;
    wxDir dir(path);
    if (!dir.IsOpened())
        return names;
    wxString entry;
    const int flags = wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN;
    for (bool more = dir.GetFirst(&entry, L"Daytime_*", flags); more; more = dir.GetNext(&entry))
        names.push_back(entry.AfterFirst(L'_').BeforeFirst(L'.'));
    return names;
}

int layeredplayertexture::findCurrentTextureIndex(const wxString& name)
{
    texlayer* l = getLayer(name);
    if (!l)
        return 0;
    wxString current = l->value;
    std::vector<wxString> names = findTextureNames(name);
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == current)
            return int(i);
    return 0;
}

void layeredplayertexture::defaults()
{
    for (size_t i = 0; i < layers.size(); i++) {
        if (!layers[i].file.empty())
            continue;
        wxString name = layers[i].name;
        std::vector<wxString> names = findTextureNames(name);
        // a folder without any name leaves the layer without an image
        if (!names.empty())
            setLayer(name, names[0]);
    }
    saveconfig();
}

void layeredplayertexture::reLayer()
{
    for (size_t i = 0; i < layers.size(); i++) {
        wxString name = layers[i].name;
        wxString value = layers[i].value;
        setLayer(name, value);
    }
    construct();
}

void layeredplayertexture::saveconfig()
{
    if (!g_config)
        return;
    for (const texlayer& l : layers)
        g_config->Write(configKey(l.folder), l.value);
    g_config->Flush();
}
