// Room figures as results.json holds them, and as a person reads them.
#pragma once

#include <cstdio>
#include <string>

#include "measure/results.h"

#include "driversession/json_writer.h"
#include "room/room_figures.h"

namespace measure {

// "bands", "onsetFrame", "onsetSeconds" and "figures" (broadband first), or
// only "reason" when the response holds no decay. Absent figures are null
// and their reasons under "reasons".
Json roomJson(const room::RoomFigures& figures);

// Under "<heading> (<width> bands):", one line per band: T30, T20, EDT, C50,
// C80, D50, Ts, PNR; "-" for an absent figure.
void printRoomTable(std::FILE* out, const std::string& heading, const room::RoomFigures& figures);

// The figures of a channel that responds, from its impulse response.
void addRoomFigures(ChannelResult& channel, int rate, room::BandWidth bands);

} // namespace measure
