#pragma once
#include "surface/Commands.h"

// The text of string resource id; empty for an unknown id.
const char* PvLoadString(int id);

// Registers the images compiled into the program (they sit in a static library).
void PvInitAppResources();
