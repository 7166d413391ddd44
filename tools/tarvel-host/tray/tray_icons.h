// Icons of tarvel-host.rc (tarvel.ico: two windows, the front one raised;
// tarvel-paused.ico: the same in grey).  The first is also the program's
// icon in Explorer.
#pragma once

#define IDI_TARVEL 1
#define IDI_TARVEL_PAUSED 2
