// Catalogues built by hand for the window tests: the documents the program
// reads from the servers, as trees of elements with Chinese names.
#pragma once

#include "markup/markup.h"

// Adds the sample catalogue (groups and packages with Chinese names, a
// "Version" element, partly chosen groups) below root, and names root
// "InstallFiles".
void AddSampleCatalogue(TXmlTreeNode& root);

// Adds a big catalogue below doc: `groups` groups of `perGroup` packages at
// the top, nested groups, a flat run of `flat` top-level packages, and
// "Version" elements first, last, between siblings and below packages;
// "state" in every spelling the tree reads (1, 2, 02, 3, none).
void AddBigCatalogue(TXmlTreeNode& doc, int groups, int perGroup, int flat);
