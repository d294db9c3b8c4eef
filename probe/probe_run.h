// tandemwav-probe: lists the installed ASIO drivers, or describes one and
// tells whether and how tandemwav can record with it. Exit codes: 0 reported,
// 1 usage, 4 driver not loaded, 5 init refused, 130 interrupted.
#pragma once

int runProbe(int argc, char** argv);
