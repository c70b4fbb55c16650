#include "app/log_text.h"

#include <cstdio>

// "File check failed."
const char kLogCheckFailed[] = "文件校验失败。\r\n";
// "Not enough disk space."
const char kLogNoRoom[] = "磁盘空间不足。\r\n";
// "Download aborted."
const char kLogCancelled[] = "下载中止。\r\n";
// "Download failed"
const char kLogDownloadFailed[] = "下载失败\r\n";
// "Installation complete."
const char kLogInstalled[] = "安装完成。\r\n";
// "Installation failed."
const char kLogInstallFailed[] = "安装失败。\r\n";
// "The following quota libraries failed to install:"
const char kLogDekFailedHeading[] = "以下定额库安装失败:\r\n";
// "The following software failed to install:"
const char kLogSoftwareFailedHeading[] = "以下软件安装失败:\r\n";
// "The computer must be restarted to complete the installation."
const char kLogRestartNeeded[] = "需要重新启动计算机才能完成安装。\r\n";
// "The catalogue could not be obtained; no quota library was uninstalled."
const char kLogNoCatalogueToUninstall[] = "未取得配置文件，没有卸载任何定额库。\r\n";
// "The catalogue is damaged."
const char kLogCatalogueDamaged[] = "配置文件已损坏。\r\n";
// "The catalogue's signature is invalid."
const char kLogCatalogueBadSignature[] = "配置文件签名无效。\r\n";
// "The catalogue has expired; please check this PC's date and time."
const char kLogCatalogueExpired[] = "配置文件已过期，请检查本机的日期和时间。\r\n";
// "The catalogue's version is lower than the one already in use."
const char kLogCatalogueOlder[] = "配置文件版本低于已使用的版本。\r\n";
// "Cannot get the catalogue online; please check the network settings."
const char kLogCatalogueNetwork[] = "无法联网取得配置文件，请检查网络设置。\r\n";

// "Downloading "name"..."
std::string LogDownloading(const std::string& name) { return "正在下载\"" + name + "\"...\r\n"; }

std::string LogFrom(const char* baseUrl) { return std::string("from ") + baseUrl + "\r\n"; }

// "Download complete 1.23KB/S(resumed)", then "Now installing "name"..."
std::string LogDownloaded(float speed, bool resumed, const std::string& name) {
  char number[64];
  snprintf(number, sizeof number, "%0.2f", static_cast<double>(speed));
  return std::string("下载完成 ") + number + "KB/S" + (resumed ? "(续传)" : "") + "\r\n现在安装\"" + name +
         "\"...\r\n";
}

// "Installation failed, return value N."
std::string LogInstallFailedWithCode(unsigned long code) {
  char number[16];
  snprintf(number, sizeof number, "%lu", code);
  return std::string("安装失败，返回值 ") + number + "。\r\n";
}

// "Uninstalling: key..."
std::string LogUninstalling(const std::string& key) { return "卸载: " + key + "...\r\n"; }

std::string LogListed(const std::string& name) { return "    " + name + "\r\n"; }
