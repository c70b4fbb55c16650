// The catalogue fetch behind TInstallZelmDlgClient::FetchCatalogue, with the
// two server base URLs and the catalogue key as parameters so that tests can
// point it at servers and keys of their own. The program itself passes
// BaseUrl1, BaseUrl2 and the key it was built with.
#pragma once

#include <cstddef>

class TInstallZelmDlgClient;

// The public key that catalogues must be signed with: PEM text as
// `openssl pkey -pubout` writes it. Empty (Pem null or Length 0): no key, and
// catalogues are not checked.
struct TCatalogueKey {
  const char* Pem = nullptr;
  size_t Length = 0;
};

// Does nothing when client.CatalogueDoc already has children. Otherwise, for
// baseUrl1 and then baseUrl2 (no log line between the attempts), downloads
// "InstallFiles.zip" into client.DownloadDir and takes its first top-level
// member named "InstallFiles.xml" (letter case ignored, recorded size at
// most kCatalogueMaxSize). With a key, the archive's "InstallFiles.xml.sig"
// must be the key's signature of that member's exact bytes; otherwise
// "配置文件签名无效。" is logged, nothing is parsed, and the next mirror is
// fetched as if this one's download had failed. The member is parsed into
// CatalogueDoc and shown in the package tree. When both downloads fail,
// "无法联网取得配置文件，请检查网络设置。" is logged; an archive that cannot
// be opened, lacks the member or holds a damaged one is passed over silently.
// The archive is deleted after each attempt that downloaded it.
void FetchCatalogueFrom(TInstallZelmDlgClient& client, const char* baseUrl1, const char* baseUrl2,
                        const TCatalogueKey& key = TCatalogueKey());
