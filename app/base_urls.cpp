#include "app/base_urls.h"

const char BaseUrl1[] = IZ_BASE_URL1;
const char BaseUrl2[] = IZ_BASE_URL2;
