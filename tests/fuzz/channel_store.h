// The channel readers' storage for the fuzz targets: the library's own keeps
// every node until the process ends, which millions of runs cannot afford.
// This one keeps the nodes of one run and gives them back before the next.
#pragma once

// Gives back every node appended so far.
void fuzzClearChannels();
