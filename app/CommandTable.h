#pragma once
// The program's command set: every command with its menu entry, keys, prompt and toolbar slot.
// The menu bar, the accelerators, the toolbar and the status-bar prompts are all built from it.
#include "FrameWnd.h"

#include <span>
#include <vector>

std::span<const CCommandEntry> TidemarkCommandTable();

// The toolbar's items from left to right: command ids, ID_SEPARATOR where no command sits.
std::vector<UINT> TidemarkToolbarItems();
