#include "list_text.h"

#include <algorithm>

#include "Unit1.h"

std::vector<std::string> ListCaptions() {
  std::vector<std::string> out;
  for (int i = 0; i < Form1->ListView1.Count(); ++i) out.push_back(Form1->ListView1.Item(i)->Caption());
  return out;
}

std::vector<std::string> SelectListEntries(const std::vector<std::string>& names) {
  std::vector<std::string> missing = names;
  for (int e = 0; e < Form1->ListView1.Count(); ++e) {
    cl::TListItem* item = Form1->ListView1.Item(e);
    bool wanted = std::find(names.begin(), names.end(), item->Caption()) != names.end();
    missing.erase(std::remove(missing.begin(), missing.end(), item->Caption()), missing.end());
    item->SetSelected(wanted);
  }
  cl::Application.ProcessMessages();
  return missing;
}
