// What each executable is built with: the two base URLs of the download
// server, each ending in "/download/", and the public keys that catalogues
// must be signed with. Every executable brings its own object with these
// (cmake/BuildSettings.cmake): the program those of the CMake cache variables
// INSTALLZELM_BASE_URL1, INSTALLZELM_BASE_URL2 and INSTALLZELM_CATALOGUE_KEY,
// test builds loopback servers and keys of their own.
#pragma once

#include <cstddef>

#include "app/catalogue_signature.h"

extern const char BaseUrl1[];
extern const char BaseUrl2[];

// The catalogue keys, in the order the build was given them: 0 to
// kCatalogueMaxKeys, each the PEM text as `openssl pkey -pubout` writes it.
// A catalogue signed by any one of them is trusted. CatalogueKeyCount 0: the
// build has no key, checks no signatures and applies none of the rules that
// come with signed catalogues.
extern const TCatalogueKey CatalogueKeys[];
extern const size_t CatalogueKeyCount;
