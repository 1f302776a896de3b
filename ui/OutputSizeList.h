// The list of output sizes the account may publish, for the main window and
// the settings dialog alike: the configured entries ("w*h") in order,
// skipping those that are no size and stopping at the first whose area is
// above the account's largest picture; and what the saved size
// (OUTRESOLUTION) puts in force against that list.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "ui/OutputSizeText.h"

class CItemListUI;

struct SavedOutputSize {
  // The item to show selected; -1 for none.
  int listIndex = -1;
  // The size to apply; none leaves the size the account's parameters set.
  std::optional<OutputSize> inForce;
};

// Empties the list, then adds the entries; selects nothing (the callers
// select without a notification, so nothing is saved that the presenter did
// not choose). A saved size the account allows is kept, listed or not; one it
// does not allow gives way to the largest listed size that is allowed and
// not above it in either side, without being overwritten; an unreadable one
// changes nothing.
SavedOutputSize FillOutputSizeList(CItemListUI& list, const std::vector<std::string>& sizes,
                                   const std::string& outResolution, int maxWidth, int maxHeight);

// Puts a list's selection back where it was before a refused choice
// (previous -1: no selection).
void ReselectOutputSize(CItemListUI& list, int previous);
