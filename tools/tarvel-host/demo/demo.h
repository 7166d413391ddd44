// --demo: the scripted demonstration of a plug-in, as a readable transcript.
#pragma once

#include "plugin_library.h"

// Runs every step against `plugin`; true when each did what it should.
bool RunDemo(PluginLibrary& plugin);
