#include "app/build_settings.h"

const char BaseUrl1[] = IZ_BASE_URL1;
const char BaseUrl2[] = IZ_BASE_URL2;

#ifdef IZ_CATALOGUE_KEY_BYTES
// The key file's bytes, written out by cmake/EmbedKey.cmake.
const char CatalogueKey[] = {
#include IZ_CATALOGUE_KEY_BYTES
};
const size_t CatalogueKeyLength = sizeof(CatalogueKey);
#else
const char CatalogueKey[] = "";
const size_t CatalogueKeyLength = 0;
#endif
