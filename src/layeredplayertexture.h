#ifndef TIBREL_LAYEREDPLAYERTEXTURE_H
#define TIBREL_LAYEREDPLAYERTEXTURE_H

#include <vector>
#include "layeredtexture.h"

// A player's outfit: thirteen body-part layers chosen by name, looked up by side and time of day,
// remembered under "pl%d/<folder>".
class layeredplayertexture : public layeredtexture {
public:
    int team;          // 0 "left", otherwise "right"
    int playerIndex;   // 0 ... 3

    layeredplayertexture(int team, int playerIndex);

    void setLayer(const wxString& name, const wxString& value) override;
    std::vector<wxString> findTextureNames(const wxString& name);
    int findCurrentTextureIndex(const wxString& name);
    void defaults();
    void reLayer();
    void saveconfig();

    // "left" for team 0, else "right"
    wxString side() const;
    // "pl%d/<folder>" for this player
    wxString configKey(const wxString& folder) const;
};

#endif
