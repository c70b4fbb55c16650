// The uninstall walk: every quota library recorded in "Dek Files" that is not
// a chosen "Dek" element of the catalogue loses its installed file and its
// record. Kept apart from the main dialog so that tests can drive it.
#pragma once

#include <string>
#include <vector>

#include "app/run_host.h"

class TXmlTreeNode;

// True when the catalogue shows anything: a child of its root element that
// is not "Version". False when no catalogue was loaded or the tree is empty.
bool HasLoadedCatalogue(const TXmlTreeNode& catalogue);

// The "Dek Files" keys that the run removes, in the order of the section:
// those not equal to the "name" of a "Dek" element whose "state" reads as 2.
// Names are equal as the settings file finds them equal: ignoring letter
// case, read by characters of the system code page.
std::vector<std::string> KeysToRemove(TXmlTreeNode& catalogue, const std::vector<std::string>& keys);

// Logs LogUninstalling(key), deletes the file a record names and removes the
// record, for every key of KeysToRemove. Without a loaded catalogue
// (HasLoadedCatalogue) it removes nothing and logs
// kLogNoCatalogueToUninstall instead. A record with an empty value (or a
// path too long to trust) is logged but neither file nor record is touched.
// The host is pumped once after each record's line; when it answers that
// the window is gone, the record in hand is still finished and no further
// one is touched.
void UninstallUnselected(TXmlTreeNode& catalogue, TRunHost& host);
