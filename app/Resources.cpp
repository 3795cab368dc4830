#include "app/Resources.h"

#include <QtGlobal>

namespace {

struct CStringEntry {
    int id;
    const char* text;
};

constexpr CStringEntry kStrings[] = {
    {pv::res::kMainFrame, "Penvale"},
    {pv::str::kSocketsInitFailed, "Windows sockets initialization failed."},
    {pv::str::kTipNew, "New"},
    {pv::str::kTipHelp, "Help"},
    {pv::str::kTipRotate, "Changes the Tablet Orientation"},
    {pv::str::kRegistryKey, "Penvale"},
    {pv::str::kTipLeftClick, "Left Click"},
    {pv::str::kTipRightClick, "Right Click"},
    {pv::str::kTipDoubleClick, "Double Click"},
    {pv::str::kTipClearScreen, "Clear Screen"},
};

}  // namespace

const char* PvLoadString(int id) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return "";
}

// Outside any namespace, as Q_INIT_RESOURCE requires.
void PvInitAppResources() {
    Q_INIT_RESOURCE(penvale);
}
