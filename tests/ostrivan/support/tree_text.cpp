#include "tree_text.h"

#include "Unit1.h"
#include "session.h"

std::string NodePath(const cl::TTreeNode* node) {
  if (!node->Parent() && node->Text() == "/") return "/";
  std::string path;
  for (const cl::TTreeNode* n = node; n; n = n->Parent()) {
    if (!n->Parent() && n->Text() == "/") {
      path = "/" + path;
      break;
    }
    const ObjectRecord* r = RecordOf(n);
    std::string name = r ? RecordName(*r) : Utf8FromAnsiText(n->Text());
    path = path.empty() ? name : name + "/" + path;
  }
  return path;
}

cl::TTreeNode* FindNode(const std::string& path) {
  for (int i = 0; i < Form1->TreeView1.Count(); ++i) {
    cl::TTreeNode* n = Form1->TreeView1.Item(i);
    if (NodePath(n) == path) return n;
  }
  return nullptr;
}
