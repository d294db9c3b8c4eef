// tandemwav-probe: lists the installed ASIO drivers, or describes one and
// tells whether and how tandemwav can record with it, or measures its round
// trip. Exit codes: 0 reported, 1 usage, 4 driver not loaded, 5 init refused,
// 6 to 12 as tandemwav's for a measurement, 16 no signal came back,
// 130 interrupted.
#pragma once

int runProbe(int argc, char** argv);
