// Resource numbers of pivotle.
#pragma once

#define IDS_PIVOTLE_TITLE 103
#define IDI_PIVOTLE 107
#define IDI_PIVOTLE_SMALL 108
#define IDS_PIVOTLE_CLASS 109
