// The background mode's exclusions, shown with its own parts: with an
// application the user excluded in front, the chosen button reaches it
// untouched; admitted again, the same hook takes the press for the flip.
#pragma once

#include "transcript.h"

void ShowExclusion(Transcript& transcript);
