// The two base URLs of the download server, each ending in "/download/".
// Each executable brings its own pair (cmake/BaseUrls.cmake): the program
// those of the CMake cache variables INSTALLZELM_BASE_URL1 and
// INSTALLZELM_BASE_URL2, test builds loopback servers.
#pragma once

extern const char BaseUrl1[];
extern const char BaseUrl2[];
