#include "daytime.h"

int g_dt = DT_DAY;

// basecolor x 12 + daytime x 3 + component; 0 ... 255
static const int baseColours[2 * 4 * 3] = {
    // sand: morning, day, evening, night; the darker ones turn towards orange and grey, since a
    // dark yellow reads as olive
    190, 166, 116, 229, 200, 101, 216, 166, 112, 146, 134, 112,
    // sky
    0, 32, 64, 76, 153, 230, 230, 153, 76, 0, 0, 32,
};

void setDaytime(daytime d)
{
    g_dt = d;
}

wxString getDTPrefix()
{
    switch (g_dt) {
    case DT_MORNING: return wxT("Morning");
    case DT_DAY: return wxT("Daytime");
    case DT_EVENING: return wxT("Evening");
    case DT_NIGHT: return wxT("Night");
    default: return wxT("Unknown");
    }
}

int getBaseCol(basecolor b, colorcomponent c)
{
    // an unknown time of day reads the day's colours rather than outside the table
    int dt = (g_dt >= DT_MORNING && g_dt <= DT_NIGHT) ? g_dt : DT_DAY;
    int bi = (b == BC_SKY) ? 1 : 0;
    int ci = (c >= CC_RED && c <= CC_BLUE) ? c : CC_RED;
    return baseColours[bi * 12 + dt * 3 + ci];
}
