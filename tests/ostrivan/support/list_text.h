// The entry list of the main window as text, and selecting its entries by
// caption, for the tests and the session driver.
#pragma once
#include <string>
#include <vector>

// The captions of Form1's list in order (ANSI, as shown).
std::vector<std::string> ListCaptions();
// Selects exactly the entries whose captions (ANSI) are among names and lets
// the list's change events run; returns the names that no entry has.
std::vector<std::string> SelectListEntries(const std::vector<std::string>& names);
