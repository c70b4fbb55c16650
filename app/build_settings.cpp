#include "app/build_settings.h"

const char BaseUrl1[] = IZ_BASE_URL1;
const char BaseUrl2[] = IZ_BASE_URL2;

// Each key file's bytes, written out by cmake/EmbedKey.cmake.
#ifdef IZ_CATALOGUE_KEY1_BYTES
static const char Key1[] = {
#include IZ_CATALOGUE_KEY1_BYTES
};
#endif
#ifdef IZ_CATALOGUE_KEY2_BYTES
static const char Key2[] = {
#include IZ_CATALOGUE_KEY2_BYTES
};
#endif
#ifdef IZ_CATALOGUE_KEY3_BYTES
static const char Key3[] = {
#include IZ_CATALOGUE_KEY3_BYTES
};
#endif
#ifdef IZ_CATALOGUE_KEY4_BYTES
static const char Key4[] = {
#include IZ_CATALOGUE_KEY4_BYTES
};
#endif

const TCatalogueKey CatalogueKeys[] = {
#ifdef IZ_CATALOGUE_KEY1_BYTES
    {Key1, sizeof(Key1)},
#endif
#ifdef IZ_CATALOGUE_KEY2_BYTES
    {Key2, sizeof(Key2)},
#endif
#ifdef IZ_CATALOGUE_KEY3_BYTES
    {Key3, sizeof(Key3)},
#endif
#ifdef IZ_CATALOGUE_KEY4_BYTES
    {Key4, sizeof(Key4)},
#endif
    {nullptr, 0},  // keeps the array whole in a build without keys
};
const size_t CatalogueKeyCount = sizeof(CatalogueKeys) / sizeof(CatalogueKeys[0]) - 1;
static_assert(sizeof(CatalogueKeys) / sizeof(CatalogueKeys[0]) - 1 <= kCatalogueMaxKeys,
              "a build carries at most kCatalogueMaxKeys catalogue keys");
