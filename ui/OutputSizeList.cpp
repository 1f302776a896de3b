#include "ui/OutputSizeList.h"

#include <cstdint>

#include "app/StringConvert.h"
#include "platform/duilib/list_controls.h"
#include "ui/OutputSizeText.h"

int FillOutputSizeList(CItemListUI& list, const std::vector<std::string>& sizes, const std::string& outResolution,
                       int maxWidth, int maxHeight) {
  list.RemoveAll();
  const int64_t limit = static_cast<int64_t>(maxWidth) * maxHeight;
  int selected = 0;
  for (const std::string& entry : sizes) {
    const auto size = ParseOutputSize(entry, '*');
    if (!size) continue;
    if (static_cast<int64_t>(size->width) * size->height > limit) break;
    // The item's own index: skipped entries must not shift the selection.
    if (entry == outResolution) selected = list.GetCount();
    list.AddItem(MultiByteToWide(entry));
  }
  return list.GetCount() == 0 ? -1 : selected;
}
