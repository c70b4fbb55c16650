// What each executable is built with: the two base URLs of the download
// server, each ending in "/download/", and the public key that catalogues
// must be signed with. Every executable brings its own object with these
// (cmake/BuildSettings.cmake): the program those of the CMake cache variables
// INSTALLZELM_BASE_URL1, INSTALLZELM_BASE_URL2 and INSTALLZELM_CATALOGUE_KEY,
// test builds loopback servers and keys of their own.
#pragma once

#include <cstddef>

extern const char BaseUrl1[];
extern const char BaseUrl2[];

// The PEM text of the catalogue key, as `openssl pkey -pubout` writes it,
// without a terminator; CatalogueKeyLength 0 when the build has no key.
extern const char CatalogueKey[];
extern const size_t CatalogueKeyLength;
