// Fills a list with the output sizes the account may publish, for the main
// window and the settings dialog alike: the configured entries ("w*h") in
// order, skipping those that are no size and stopping at the first whose
// area is above the account's largest picture.
#pragma once
#include <string>
#include <vector>

class CItemListUI;

// Empties the list, then adds the entries. Returns the index of the item
// whose text is outResolution (0 when none is; -1 when the list stays empty)
// and selects nothing: one caller selects silently, the other with a
// notification.
int FillOutputSizeList(CItemListUI& list, const std::vector<std::string>& sizes, const std::string& outResolution,
                       int maxWidth, int maxHeight);
