#include "app/build_settings.h"

const char BaseUrl1[] = IZ_BASE_URL1;
const char BaseUrl2[] = IZ_BASE_URL2;

// Each key file's bytes and IZ_CATALOGUE_KEY_LIST, written out by
// cmake/EmbedKey.cmake.
#ifdef IZ_CATALOGUE_KEYS
#include IZ_CATALOGUE_KEYS
#else
#define IZ_CATALOGUE_KEY_LIST
#endif

const TCatalogueKey CatalogueKeys[] = {
    IZ_CATALOGUE_KEY_LIST
    {nullptr, 0},  // keeps the array whole in a build without keys
};
const size_t CatalogueKeyCount = sizeof(CatalogueKeys) / sizeof(CatalogueKeys[0]) - 1;
static_assert(sizeof(CatalogueKeys) / sizeof(CatalogueKeys[0]) - 1 <= kCatalogueMaxKeys,
              "a build carries at most kCatalogueMaxKeys catalogue keys");
