// The version text of the program, a constant given by the build
// (ZOT_version; the message layer prints it in the banner).
#pragma once

#ifndef TAVRO_VERSION
#define TAVRO_VERSION "unknown"
#endif
