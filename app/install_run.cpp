#include "app/main_dialog.h"

void TInstallZelmDlgClient::CmDownloadInstall() {}
