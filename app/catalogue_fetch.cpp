#include "app/main_dialog.h"

void TInstallZelmDlgClient::ResolveDownloadDir() {}

void TInstallZelmDlgClient::FetchCatalogue() {}
