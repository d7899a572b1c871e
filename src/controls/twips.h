#pragma once

// The windows are designed in twips (1/1440 inch); fifteen make one logical pixel,
// which Qt scales on high-density screens.
constexpr int tw(int twips)
{
    return twips / 15;
}
