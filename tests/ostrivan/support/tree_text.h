// The tree of the main window as text: paths as the session driver prints
// them ("/" for the root, "/a/b" below it, "x/y" under another top-level x).
#pragma once
#include <string>

#include "cl_treeview.h"
#include "openimage.h"

// Names from the records (UTF-8); a node without a record by its text.
std::string NodePath(const cl::TTreeNode* node);
// The node of Form1's tree with that path, or nullptr.
cl::TTreeNode* FindNode(const std::string& path);
