// POSIX has no map window: nothing registers "Map Class" here, so none is ever created.
#include "platform/platform.h"

namespace platform {

MapWindow* CreateMapWindow(int32_t, int32_t) { return nullptr; }
int32_t MapClientHeight(MapWindow*) { return 0; }
void FillMapRectangle(MapWindow*, int32_t, int32_t, int32_t, int32_t, uint8_t, uint8_t,
                      uint8_t) {}
void RepaintMap(MapWindow*, bool, int32_t, int32_t, int32_t, int32_t) {}
void DestroyMapWindow(MapWindow*) {}

}  // namespace platform
