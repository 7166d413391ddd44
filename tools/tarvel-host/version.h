// The program's version as text, "1.0.0": the numbers CMake passes, which are
// also those of its version record.
#pragma once

#define TARVEL_VERSION_STRING2(x) #x
#define TARVEL_VERSION_STRING(x) TARVEL_VERSION_STRING2(x)
#define TARVEL_VERSION_TEXT                                                             \
    TARVEL_VERSION_STRING(TARVEL_VERSION_MAJOR) "." TARVEL_VERSION_STRING(TARVEL_VERSION_MINOR) "." \
    TARVEL_VERSION_STRING(TARVEL_VERSION_PATCH)
