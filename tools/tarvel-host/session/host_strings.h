// Identifiers of tarvel-host's own string table (tarvel-host.rc).  The plug-in
// loads strings by identifier from the executable of the process that hosts
// it, so these are also the identifiers the demonstration passes as names.
#pragma once

#define IDS_NAME_TARVEL 101          // "Tarvel"
#define IDS_NAME_MIXED_CASE 102      // "tARVEL"
#define IDS_NAME_NEAR_MISS 103       // "Tarve"
#define IDS_NAME_ABSENT 104          // no such entry
#define IDS_HELP_QUICKSWITCH 200     // the app switcher's prompt
