// The catalogue fetch behind TInstallZelmDlgClient::FetchCatalogue, with the
// two server base URLs as parameters so that tests can point it at servers of
// their own. The program itself always passes BaseUrl1 and BaseUrl2.
#pragma once

class TInstallZelmDlgClient;

// Names of the catalogue archive on the server and of its member.
constexpr const char* kCatalogueArchive = "InstallFiles.zip";
constexpr const char* kCatalogueMember = "InstallFiles.xml";

// Does nothing when client.CatalogueDoc already has children. Otherwise
// downloads kCatalogueArchive from baseUrl1, else from baseUrl2 (no log line
// between the attempts), into client.DownloadDir; loads the first top-level
// member named kCatalogueMember (letter case ignored) into CatalogueDoc and
// fills the package tree. Logs one line when both downloads fail; an archive
// that cannot be opened or lacks the member is passed over silently. The
// archive and the extracted member are deleted afterwards.
void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2);
