// The card pictures in the order the show reveals them: the timeline reveals card k at
// step k and card k shows TextureTable[k]. Kept apart from the scene's GL records so that
// the artwork generator can read the same order.
#pragma once

#include <array>

inline constexpr std::array<const char *, 40> cardPictures = {
    "DATA_1",  "DATA_2",  "DATA_3",   "DATA_4",   "DATA_5",   "DATA_6",   "DATA_7",  "DATA_8",
    "DDATA_1", "DATA_9",  "DDATA_2",  "DATA_10",  "DDATA_3",  "DATA_11",  "DDATA_4", "DATA_12",
    "DDATA_5", "DATA_13", "DDATA_6",  "DATA_14",  "DDATA_7",  "DATA_15",  "DDATA_8", "DATA_16",
    "DDATA_9", "DATA_17", "DDATA_10", "DDATA_11", "DDATA_12", "DDATA_13", "MDATA_1", "MDATA_2",
    "MDATA_3", "MDATA_4", "MDATA_5",  "MDATA_6",  "MDATA_7",  "EDATA_1",  "EDATA_2", "EDATA_3",
};
