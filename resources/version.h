// The program's version, in the one place it is written: the version resource,
// the manifest, the version window and scripts/release.sh all take it from here.
// Only #define lines: the resource compiler, the C++ compiler, CMake and the
// release script each read this file.
#pragma once

// As the user reads it: major, two-digit minor and patch, and an optional
// letter for a revision of the same patch.
#define ZEPHO_VERSION_TEXT "1.01.06b"

// The same version as the four numbers of the version resource and the
// manifest: the letter counts as the fourth number (a = 1, b = 2, none = 0).
#define ZEPHO_VERSION_MAJOR 1
#define ZEPHO_VERSION_MINOR 1
#define ZEPHO_VERSION_PATCH 6
#define ZEPHO_VERSION_REVISION 2

#define ZEPHO_COMPANY "ZEPHO developers"
#define ZEPHO_COPYRIGHT "(C) 2026 ZEPHO developers"
