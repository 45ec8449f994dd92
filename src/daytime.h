#ifndef TIBREL_DAYTIME_H
#define TIBREL_DAYTIME_H

#include <wx/string.h>

enum daytime { DT_MORNING = 0, DT_DAY = 1, DT_EVENING = 2, DT_NIGHT = 3 };
enum basecolor { BC_SAND = 0, BC_SKY = 1 };
enum colorcomponent { CC_RED = 0, CC_GREEN = 1, CC_BLUE = 2 };

extern int g_dt;   // current time of day, DT_DAY at start

void setDaytime(daytime d);
// "Morning", "Daytime", "Evening", "Night", or "Unknown"
wxString getDTPrefix();
// 0 ... 255
int getBaseCol(basecolor b, colorcomponent c);

#endif
