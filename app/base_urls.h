// The two base URLs of the download server, each ending in "/download/".
// Chosen when the program is built (CMake cache variables
// INSTALLZELM_BASE_URL1 and INSTALLZELM_BASE_URL2).
#pragma once

extern const char BaseUrl1[];
extern const char BaseUrl2[];
