#include "ui/OutputSizeList.h"

#include <cstdint>

#include "app/StringConvert.h"
#include "platform/duilib/list_controls.h"

namespace {

int64_t Area(const OutputSize& size) { return static_cast<int64_t>(size.width) * size.height; }

}  // namespace

SavedOutputSize FillOutputSizeList(CItemListUI& list, const std::vector<std::string>& sizes,
                                   const std::string& outResolution, int maxWidth, int maxHeight) {
  list.RemoveAll();
  const int64_t limit = static_cast<int64_t>(maxWidth) * maxHeight;
  const auto allowed = [&](const OutputSize& size) { return size.width <= maxWidth && size.height <= maxHeight; };
  const std::optional<OutputSize> saved = ParseOutputSize(outResolution, '*');
  SavedOutputSize result;
  if (saved && allowed(*saved)) result.inForce = saved;
  for (const std::string& entry : sizes) {
    const auto size = ParseOutputSize(entry, '*');
    if (!size) continue;
    if (Area(*size) > limit) break;
    // The item's own index: skipped entries must not shift the selection.
    const int index = list.GetCount();
    list.AddItem(MultiByteToWide(entry));
    if (!saved) continue;
    if (allowed(*saved)) {
      if (entry == outResolution && result.listIndex < 0) result.listIndex = index;
    } else if (allowed(*size) && size->width <= saved->width && size->height <= saved->height &&
               (!result.inForce || Area(*size) > Area(*result.inForce))) {
      result.listIndex = index;
      result.inForce = size;
    }
  }
  return result;
}

void ReselectOutputSize(CItemListUI& list, int previous) {
  if (!list.SelectItem(previous, false, false)) list.ClearSelection();
}
