#pragma once

#include "rtf/rtfdefaults.h"

// The windows are designed in twips; Qt scales the logical pixels on high-density screens.
constexpr int tw(int twips)
{
    return twips / rtf::kTwipsPerPixel;
}
